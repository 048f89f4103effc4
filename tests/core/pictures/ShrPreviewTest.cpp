#include "pictures/ShrPreview.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace vorn {
namespace {

using Rgba = std::array<std::uint8_t, 4>;

// Colour `colour` of palette `palette` as the two bytes of a $0RGB entry.
void setColour(std::string& shr, int palette, int colour, std::uint8_t lo, std::uint8_t hi) {
    const std::size_t at = 32200 + std::size_t(palette * 16 + colour) * 2;
    shr[at] = char(lo);
    shr[at + 1] = char(hi);
}

TEST(ShrPreviewTest, LinesUseTheirPaletteFromByte32200) {
    EXPECT_FALSE(ShrPreview::decode(std::string(32711, '\0'))) << "one byte too short";
    EXPECT_FALSE(ShrPreview::decodeFile("/nonexistent/screen.shr"));

    std::string shr(32712, '\0');
    setColour(shr, 0, 0, 0x5A, 0x03);  // $035A: red 3, green 5, blue A
    setColour(shr, 15, 1, 0x0F, 0xF0); // high nibble of the second byte is not colour
    setColour(shr, 15, 2, 0xF0, 0x0F);
    shr[32000 + 7] = char(0x8F); // 640-pixel bit set: still 320 pixels, palette 15
    shr[7 * 160] = char(0x12);
    shr[7 * 160 + 159] = char(0x21);
    shr[8 * 160] = char(0x12); // same pixels, palette 0: colours 1 and 2 are black there
    const auto image = ShrPreview::decode(shr);
    ASSERT_TRUE(image);
    ASSERT_EQ(std::tuple(image->width, image->height, image->pixels.size()),
              std::tuple(320, 200, 256000u));

    // Line 7 is blue, yellow, black (colour 0 of palette 15) ..., yellow, blue; line 8 starts
    // with two black pixels; all others are colour 0 of palette 0. Every one is opaque.
    std::vector<Rgba> expected(64000, Rgba{0x33, 0x55, 0xAA, 255});
    std::fill_n(expected.begin() + 7 * 320, 322, Rgba{0, 0, 0, 255});
    expected[7 * 320] = expected[7 * 320 + 319] = Rgba{0x00, 0x00, 0xFF, 255};
    expected[7 * 320 + 1] = expected[7 * 320 + 318] = Rgba{0xFF, 0xFF, 0x00, 255};
    for (std::size_t i = 0; i < 64000; ++i) {
        const std::uint8_t* p = &image->pixels[i * 4];
        ASSERT_EQ((Rgba{p[0], p[1], p[2], p[3]}), expected[i])
            << "x " << i % 320 << ", y " << i / 320;
    }
    EXPECT_EQ(ShrPreview::decode(shr + std::string(56, '\xFF')), image)
        << "what follows byte 32712 is not read";
}

} // namespace
} // namespace vorn
