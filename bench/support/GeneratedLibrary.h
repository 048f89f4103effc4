#pragma once
// The benchmark library: 10,000 disk images (.po 140 KB, .2mg 800 KB, .hdv 32 MB, sparse,
// each with a real ProDOS volume directory in its first blocks) and 20,000 small other
// files (.txt, .jpg, .mp3), spread over 50 folders two levels deep.

#include "demo/ProDosVolume.h"
#include "library/DiskImage.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace vorn::bench {

constexpr int kTopFolders = 10;
constexpr int kSubFolders = 5;
constexpr int kImages = 10000;
constexpr int kOtherFiles = 20000;

struct ImageKind {
    const char* extension;
    std::uint64_t bytes; // on disk, container header included
    bool twoImg;
};

// A 5.25" floppy, a 3.5" floppy in a 2IMG container and a 32 MB hard disk volume.
constexpr std::array<ImageKind, 3> kKinds{{
    {"po", 280 * 512, false},
    {"2mg", 64 + 1600 * 512, true},
    {"hdv", 65535 * 512, false},
}};

constexpr std::array<const char*, 10> kTopNames{"Adventure", "Arcade",   "Business", "Demos",
                                                "Education", "Graphics", "Music",    "Puzzle",
                                                "Sports",    "Utilities"};
constexpr std::array<const char*, 3> kOtherExtensions{"txt", "jpg", "mp3"};

// Thrown rather than exiting on the spot so that a temporary library is still removed.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail(const std::string& message) {
    throw Failure(message);
}

// The n-th of the fifty leaf folders, relative to the library.
inline std::string leafFolder(int n) {
    const int top = n % (kTopFolders * kSubFolders) / kSubFolders;
    const int sub = n % kSubFolders;
    return std::string(kTopNames[std::size_t(top)]) + "/Disk Set " + std::to_string(sub + 1);
}

// Only the first blocks are written: the probe reads no further, and the rest of the
// image stays a hole so that 10,000 images fit comfortably on any disk.
inline std::string imageHead(int n, const ImageKind& kind) {
    ProDosVolumeSpec spec;
    spec.volumeName = "VOL" + std::to_string(n);
    spec.blocks = DiskImage::headBytes / 512;
    // A third boot through PRODOS, a third through a .SYSTEM file, a third not at all.
    if (n % 3 == 0) {
        spec.files.push_back({"PRODOS", 0xFF, 0, std::string(600, 'P')});
    } else if (n % 3 == 1) {
        spec.files.push_back({"BASIC.SYSTEM", 0xFF, 0x2000, std::string(300, 'B')});
    }
    spec.files.push_back({"README", 0x04, 0, "A benchmark volume.\r"});
    spec.files.push_back({"STARTUP", 0xFC, 0x0801, std::string(200, 'S')});
    spec.files.push_back({"DATA" + std::to_string(n % 100), 0x06, 0x2000, std::string(40, 'D')});
    const std::string volume = ProDosVolume::build(spec);
    return kind.twoImg ? ProDosVolume::wrapTwoImg(volume) : volume;
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes,
                      std::uint64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
        ftruncate(fd, off_t(size)) != 0 || close(fd) != 0) {
        fail("cannot write " + path.string());
    }
}

inline void generate(const std::filesystem::path& root) {
    for (int n = 0; n < kTopFolders * kSubFolders; ++n) {
        std::filesystem::create_directories(root / leafFolder(n));
    }
    for (int n = 0; n < kImages; ++n) {
        const ImageKind& kind = kKinds[std::size_t(n) % kKinds.size()];
        char name[64];
        std::snprintf(name, sizeof name, "Title_%05d.%s", n, kind.extension);
        writeFile(root / leafFolder(n) / name, imageHead(n, kind), kind.bytes);
    }
    for (int n = 0; n < kOtherFiles; ++n) {
        const char* ext = kOtherExtensions[std::size_t(n) % kOtherExtensions.size()];
        char name[64];
        std::snprintf(name, sizeof name, "Extra %05d.%s", n, ext);
        const std::string bytes = "file " + std::to_string(n) + "\n";
        writeFile(root / leafFolder(n * 7) / name, bytes, bytes.size());
    }
}

} // namespace vorn::bench
