#pragma once
// Where the blocks of a 140 KB disk kept in DOS 3.3 sector order lie in its file.
//
// Most 5.25-inch disk images in .dsk and .do files store their 35 tracks of 16 sectors in
// DOS 3.3 logical sector order. A ProDOS volume on such a disk is still a 280-block
// device: block b lies on track b / 8, its first half in one sector of that track and its
// second half in another. The share serves that ProDOS view and leaves the file in its
// own order, so the same file keeps working in emulators.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

class DosOrder {
public:
    static constexpr std::uint64_t sectorBytes = 256;
    static constexpr std::uint64_t trackBytes = 16 * sectorBytes;
    /// 35 tracks: the only size a DOS-ordered disk is served at.
    static constexpr std::uint64_t diskBytes = 35 * trackBytes;

    /// A stretch of a ProDOS-view range that lies in one piece in the file.
    struct Piece {
        /// Where the bytes lie in the file.
        std::uint64_t fileOffset = 0;
        /// Where they begin within the range asked for (0 for the range's first byte).
        std::uint64_t rangeOffset = 0;
        std::uint64_t length = 0;
        bool operator==(const Piece&) const = default;
    };

    /// The file offset of byte `viewOffset` of the ProDOS view (below `diskBytes`).
    static std::uint64_t fileOffset(std::uint64_t viewOffset);

    /// Calls `visit(Piece)` for each piece of the view range [start, start + length), in
    /// view order; the range must lie within the disk. Each piece is at most one sector.
    template <class Visit>
    static void forEachPiece(std::uint64_t start, std::uint64_t length, Visit&& visit) {
        std::uint64_t done = 0;
        while (done < length) {
            const std::uint64_t at = start + done;
            const std::uint64_t run = std::min(sectorBytes - at % sectorBytes, length - done);
            visit(Piece{fileOffset(at), done, run});
            done += run;
        }
    }

    /// The ProDOS view of the whole tracks at the start of a DOS-ordered file (what the
    /// probe reads); a partial last track is left out.
    static std::string toProDos(std::string_view dosOrdered);
};

} // namespace vorn
