#include "library/DosOrder.h"

#include "support/DosDisks.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

// The view range [start, start + length) put together from the pieces of a DOS-ordered
// file, checking on the way that the pieces follow each other and stay within a sector.
std::string assemble(const std::string& file, std::uint64_t start, std::uint64_t length) {
    std::string out;
    DosOrder::forEachPiece(start, length, [&](const DosOrder::Piece& piece) {
        EXPECT_EQ(piece.rangeOffset, out.size()) << "pieces out of order in " << start;
        EXPECT_LE(piece.fileOffset % 256 + piece.length, 256u) << "a piece crosses a sector";
        out += file.substr(piece.fileOffset, piece.length);
    });
    return out;
}

TEST(DosOrderTest, AWholeDiskRoundTripsThroughTheProDosView) {
    const std::string proDos = test::pattern(test::kDiskBytes, 5);
    const std::string dos = test::dosOrdered(proDos);
    ASSERT_NE(dos, proDos);
    EXPECT_TRUE(DosOrder::toProDos(dos) == proDos) << "the whole view differs from the original";
    for (std::uint64_t block = 0; block < 280; ++block) {
        ASSERT_TRUE(assemble(dos, block * 512, 512) == proDos.substr(block * 512, 512))
            << "block " << block;
    }
    // Ranges that begin and end inside sectors and cross blocks and tracks.
    for (const auto& [start, length] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {4000, 9000}, {1, 1}, {255, 2}, {4095, 2}, {0, test::kDiskBytes}}) {
        EXPECT_TRUE(assemble(dos, start, length) == proDos.substr(start, length))
            << start << " +" << length;
    }
}

} // namespace
} // namespace vorn
