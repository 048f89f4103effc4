#pragma once
// 140 KB disks for the tests of disks kept in DOS 3.3 sector order. The DOS order is
// derived here from how each system skews its sectors on a physical track, not from the
// share's own table, so that the two have to agree rather than repeat each other.

#include "demo/ProDosVolume.h"
#include "support/TempDir.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace vorn::test {

inline constexpr std::size_t kDiskBytes = 143360;
inline constexpr std::size_t kTrackBytes = 4096;

/// Where 256-byte sector `s` of a track lies on the track, as ProDOS and DOS 3.3 count.
inline constexpr std::array<int, 16> kProDosSkew{0, 2, 4, 6, 8, 10, 12, 14,
                                                 1, 3, 5, 7, 9, 11, 13, 15};
inline constexpr std::array<int, 16> kDosSkew{0, 13, 11, 9, 7, 5, 3, 1, 14, 12, 10, 8, 6, 4, 2, 15};

/// The file offset in DOS order of the 256 bytes at `proDosOffset` (a multiple of 256)
/// of the same disk in ProDOS order.
inline std::size_t dosOffset(std::size_t proDosOffset) {
    const std::size_t track = proDosOffset / kTrackBytes;
    const int physical = kProDosSkew[proDosOffset % kTrackBytes / 256];
    const auto dos = std::find(kDosSkew.begin(), kDosSkew.end(), physical) - kDosSkew.begin();
    return track * kTrackBytes + std::size_t(dos) * 256;
}

/// The same disk with its sectors in DOS 3.3 order.
inline std::string dosOrdered(const std::string& proDosOrdered) {
    std::string dos(proDosOrdered.size(), '\0');
    for (std::size_t at = 0; at < proDosOrdered.size(); at += 256) {
        dos.replace(dosOffset(at), 256, proDosOrdered.substr(at, 256));
    }
    return dos;
}

/// A bootable 140 KB ProDOS volume (it lists PRODOS), in ProDOS order, whose free blocks
/// from 16 on hold bytes that differ from block to block.
inline std::string proDosDisk(const std::string& name) {
    std::string bytes =
        ProDosVolume::build({name, 280, {{"PRODOS", 0xFF, 0, std::string(600, 'P')}}});
    const std::string fill = pattern(bytes.size() - 16 * 512, 3);
    return bytes.replace(16 * 512, fill.size(), fill);
}

/// A DOS 3.3 disk: boot code and files everywhere, the VTOC at track 17 sector 0 and the
/// catalog sectors 15 down to 1 of that track chained below it.
inline std::string dos33Disk() {
    std::string bytes = pattern(kDiskBytes, 9);
    const std::size_t vtoc = 17 * kTrackBytes;
    bytes.replace(vtoc, 256, std::string(256, '\0'));
    bytes[vtoc + 1] = 17; // first catalog sector: track 17, sector 15
    bytes[vtoc + 2] = 15;
    bytes[vtoc + 3] = 3; // DOS release
    bytes[vtoc + 6] = char(254);
    bytes[vtoc + 0x27] = 122;
    bytes[vtoc + 0x34] = 35;
    bytes[vtoc + 0x35] = 16;
    bytes[vtoc + 0x37] = 1; // 256 bytes a sector
    for (int sector = 15; sector >= 1; --sector) {
        const std::size_t at = vtoc + std::size_t(sector) * 256;
        bytes.replace(at, 256, std::string(256, '\0'));
        bytes[at + 1] = char(sector > 1 ? 17 : 0);
        bytes[at + 2] = char(sector - 1);
    }
    bytes[0] = 1; // the boot sector's count of sectors to load
    return bytes;
}

} // namespace vorn::test
