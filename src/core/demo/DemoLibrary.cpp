#include "demo/DemoLibrary.h"

#include "demo/ProDosVolume.h"

#include <fstream>

namespace vorn::DemoLibrary {
namespace {

// ProDOS text files end their lines with a carriage return.
std::string proDosText(std::string text) {
    for (char& c : text) {
        c = c == '\n' ? '\r' : c;
    }
    return text;
}

std::string lunarBase() {
    ProDosVolumeSpec spec;
    spec.volumeName = "LUNAR.BASE";
    spec.blocks = 280;
    spec.files = {
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
        {"MORE.NOTES", 0x04, 0, proDosText("WRITES FROM THE CARD LAND HERE WHEN THE SHARE IS WRITABLE.\n")},
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

} // namespace

std::vector<std::filesystem::path> write(const std::filesystem::path& dir) {
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
    return written;
}

} // namespace vorn::DemoLibrary
