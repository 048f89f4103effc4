#include "library/DosOrder.h"

#include <array>

namespace vorn {
namespace {

// The DOS 3.3 logical sectors that hold the first and the second half of the eight
// blocks of a track.
constexpr std::array<std::uint8_t, 8> kFirstHalf{0, 13, 11, 9, 7, 5, 3, 1};
constexpr std::array<std::uint8_t, 8> kSecondHalf{14, 12, 10, 8, 6, 4, 2, 15};

} // namespace

std::uint64_t DosOrder::fileOffset(std::uint64_t viewOffset) {
    const std::uint64_t block = viewOffset / 512;
    const bool second = viewOffset % 512 >= sectorBytes;
    const std::uint64_t sector = second ? kSecondHalf[block % 8] : kFirstHalf[block % 8];
    return block / 8 * trackBytes + sector * sectorBytes + viewOffset % sectorBytes;
}

std::string DosOrder::toProDos(std::string_view dosOrdered) {
    const std::uint64_t length = dosOrdered.size() / trackBytes * trackBytes;
    std::string view(length, '\0');
    forEachPiece(0, length, [&](const Piece& piece) {
        view.replace(piece.rangeOffset, piece.length,
                     dosOrdered.substr(piece.fileOffset, piece.length));
    });
    return view;
}

} // namespace vorn
