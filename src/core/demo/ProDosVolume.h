#pragma once
// Builds ProDOS volumes byte by byte: boot blocks, a four-block volume directory,
// the free-block bitmap and plain files. Used for the demo library.

#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

/// One file to place in the volume directory.
struct ProDosFile {
    /// Up to 15 characters: capitals, digits and ".", starting with a letter.
    std::string name;
    /// ProDOS file type ($04 text, $06 binary, $FF system).
    std::uint8_t type = 0x04;
    std::uint16_t auxType = 0;
    /// The file's bytes; at most 256 blocks (128 KiB).
    std::string data;
};

/// Settings of a new ProDOS volume.
struct ProDosVolumeSpec {
    std::string volumeName;
    std::uint16_t blocks = 280;
    std::vector<ProDosFile> files;
    /// Year, month and day stamped on the directory entries.
    int year = 2026, month = 1, day = 1;
    /// What the boot block prints when the Apple II starts from the volume.
    std::string bootMessage = "NOT A STARTUP DISK";
};

namespace ProDosVolume {

/// A 6502 program to run at `origin` that prints `message` (capitals, on a line of its
/// own) through the monitor's COUT and then enters the monitor.
std::string printProgram(std::uint16_t origin, const std::string& message);

/// The volume's blocks in ProDOS order (blocks x 512 bytes). Block 0 holds a small
/// boot program that prints the spec's boot message. Throws
/// std::invalid_argument when the files do not fit or a name is not a ProDOS name.
std::string build(const ProDosVolumeSpec& spec);

/// `volume` wrapped in a 2IMG container with a 64-byte header (ProDOS order).
std::string wrapTwoImg(const std::string& volume);

} // namespace ProDosVolume
} // namespace vorn
