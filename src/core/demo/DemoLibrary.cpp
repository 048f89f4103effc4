#include "demo/DemoLibrary.h"

#include "demo/DemoMedia.h"
#include "demo/ProDosVolume.h"
#include "platform/ChildProcess.h"

#include <fstream>
#include <optional>

namespace vorn::DemoLibrary {
namespace {

// ProDOS text files end their lines with a carriage return.
std::string proDosText(std::string text) {
    for (char& c : text) {
        c = c == '\n' ? '\r' : c;
    }
    return text;
}

// A startup disk: its boot block greets the player, and its system program (which ProDOS
// would start) does the same, so that the probe and the window count it as bootable.
std::string lunarBase() {
    ProDosVolumeSpec spec;
    spec.volumeName = "LUNAR.BASE";
    spec.blocks = 280;
    spec.bootMessage = "LUNAR BASE, A VORN DEMO DISK";
    spec.files = {
        {"LUNAR.SYSTEM", 0xFF, 0x2000, ProDosVolume::printProgram(0x2000, spec.bootMessage)},
        {"README", 0x04, 0, proDosText("LUNAR BASE\nA DEMO VOLUME MADE BY VORN IMAGE MANAGER.\n")},
        {"MAP.TXT", 0x04, 0, proDosText("SECTOR 1: DOCKING BAY\nSECTOR 2: HYDROPONICS\n")},
        {"SCORES", 0x06, 0x2000, std::string(700, '\x20')},
    };
    return ProDosVolume::build(spec);
}

std::string toolbox() {
    ProDosVolumeSpec spec;
    spec.volumeName = "TOOLBOX";
    spec.blocks = 1600;
    spec.files = {
        {"READ.ME", 0x04, 0, proDosText("TOOLBOX\nAN 800K DEMO VOLUME IN A 2IMG CONTAINER.\n")},
        {"NOTES", 0x04, 0, proDosText("BLOCKS ARE 512 BYTES. THIS DISK HAS 1600 OF THEM.\n")},
        {"DATA", 0x06, 0, std::string(1500, '\x55')},
        {"MORE.NOTES", 0x04, 0,
         proDosText("WRITES FROM THE CARD LAND HERE WHEN THE SHARE IS WRITABLE.\n")},
    };
    return ProDosVolume::wrapTwoImg(ProDosVolume::build(spec));
}

void writeNew(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    if (std::filesystem::exists(path)) {
        throw Error(path.string() + " already exists");
    }
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        throw Error("cannot write " + path.string());
    }
}

// A short MP3 that ffmpeg synthesises, for the conversion to have something to do.
// Without ffmpeg there is nothing to convert it with either, so it is left out.
std::optional<std::filesystem::path> writeTone(const std::filesystem::path& path,
                                               const std::optional<std::string>& ffmpeg) {
    if (!ffmpeg) {
        return std::nullopt;
    }
    const std::optional<int> status =
        ChildProcess::run(*ffmpeg, {"-nostdin", "-v", "error", "-n", "-f", "lavfi", "-i",
                                    "sine=frequency=523:duration=2", "-ac", "1", path.string()});
    if (status != 0) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return std::nullopt;
    }
    return path;
}

} // namespace

std::vector<std::filesystem::path> write(const std::filesystem::path& dir,
                                         const std::optional<std::string>& ffmpeg) {
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) &&
        (!std::filesystem::is_directory(dir, ec) || !std::filesystem::is_empty(dir, ec))) {
        throw Error(dir.string() + " exists and is not an empty folder");
    }
    const std::vector<std::pair<std::filesystem::path, std::string>> files = {
        {dir / "Games" / "Lunar_Base.po", lunarBase()},
        {dir / "Utilities" / "Toolbox.2mg", toolbox()},
        // A Disk II image, to show that such images are counted but not shared.
        {dir / "Games" / "Old Arcade.dsk", std::string(143360, '\0')},
        {dir / "Audio" / "Chime.pcm", DemoMedia::chimePcm()},
        {dir / "Pictures" / "Rainbow.shr", DemoMedia::rainbowShr()},
        // Named after the disk, so the converted picture becomes that disk's cover.
        {dir / "Pictures" / "Lunar_Base.bmp", DemoMedia::moonBaseBmp(640, 400)},
    };
    std::vector<std::filesystem::path> written;
    try {
        for (const auto& [path, bytes] : files) {
            writeNew(path, bytes);
            written.push_back(path);
        }
    } catch (const std::filesystem::filesystem_error& e) {
        throw Error(e.what());
    }
    if (auto tone = writeTone(dir / "Audio" / "Tone.mp3", ffmpeg)) {
        written.push_back(*tone);
    }
    return written;
}

} // namespace vorn::DemoLibrary
