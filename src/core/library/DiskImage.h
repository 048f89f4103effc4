#pragma once
// A shareable ProDOS block image, and the probe that recognises one.

#include "platform/Date.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

/// What the boot probe learns from an image's first blocks.
struct BootInfo {
    bool bootable = false;
    std::optional<std::string> volumeName;
    bool operator==(const BootInfo&) const = default;
};

/// One disk image of the library that the card can mount as a block device.
struct DiskImage {
    std::filesystem::path path;
    /// Relative folder path; empty for the library root.
    std::string folder;
    /// Last path component, extension included.
    std::string fileName;
    /// Name shown to the card and the user; the catalog may extend it.
    std::string displayName;
    /// File size, container header included.
    std::uint64_t bytes = 0;
    /// Whole 512-byte blocks after the data offset.
    std::uint64_t blocks = 0;
    bool bootable = false;
    /// ProDOS volume name, upper case; absent when the directory has none.
    std::optional<std::string> volumeName;
    Date created = kDistantPast;
    Date modified = kDistantPast;
    /// Whether this process may write into the file: not when its permissions, an
    /// immutable flag or a read-only mount forbid it.
    bool writable = true;
    /// The file keeps a 140 KB disk in DOS 3.3 sector order (see DosOrder); the share
    /// serves its ProDOS view and reads and writes the file in its own order.
    bool dosOrder = false;

    /// Identity in the library: folder + "/" + fileName, or fileName in the root.
    std::string relPath() const;
    std::string id() const { return relPath(); }

    bool operator==(const DiskImage&) const = default;

    /// Extensions (lower case) of files that are probed as block images.
    static constexpr std::array<std::string_view, 3> extensions{"po", "hdv", "2mg"};
    /// Extensions of 140 KB disks in either sector order: shared only when they hold a
    /// ProDOS volume.
    static constexpr std::array<std::string_view, 2> sectorExtensions{"dsk", "do"};
    /// Extensions of images that may need Disk II emulation; counted as skipped unless
    /// the probe found a ProDOS volume in them.
    static constexpr std::array<std::string_view, 4> rejectedExtensions{"dsk", "do", "woz", "nib"};
    /// Whether a file name has one of the Disk II extensions.
    static bool needsDiskII(std::string_view fileName);
    /// How much of an image the probe reads.
    static constexpr std::size_t headBytes = 16384;

    /// The image at `path`, or absent when the file is not a shareable block image.
    static std::optional<DiskImage> probe(const std::filesystem::path& path,
                                          const std::string& folder);
    /// Where block 0 starts: 0 for a bare image, the corrected 2IMG data offset otherwise.
    static std::uint64_t dataOffset(std::string_view head, std::uint64_t fileBytes);
    /// Boot marker and volume directory walk over the first bytes of the file.
    static BootInfo bootProbe(std::string_view head, std::uint64_t dataOffset);
    /// Whether a 512-byte block reads as the key block of a ProDOS volume directory: no
    /// previous block, a header entry of storage type $F with a name of 1 to 15
    /// characters, entries of $27 bytes and 13 entries per block.
    static bool volumeDirectoryKey(std::string_view block);
    /// Display name from a file name ("Lunar_Base.1.5.po" gives "Lunar Base 1.5").
};

/// Little-endian 32-bit value at `at`; 0 when fewer than four bytes remain there.
std::uint32_t readLE32(std::string_view bytes, std::size_t at);

} // namespace vorn
