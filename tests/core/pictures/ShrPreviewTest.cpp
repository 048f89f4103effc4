#include "pictures/ShrPreview.h"

#include <array>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using Rgba = std::array<std::uint8_t, 4>;

Rgba pixel(const RgbaImage& image, int x, int y) {
    const std::size_t at = (std::size_t(y) * 320 + std::size_t(x)) * 4;
    return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2], image.pixels[at + 3]};
}

// Colour `colour` of palette `palette` as the two bytes of a $0RGB entry.
void setColour(std::string& shr, int palette, int colour, std::uint8_t lo, std::uint8_t hi) {
    const std::size_t at = 32200 + std::size_t(palette * 16 + colour) * 2;
    shr[at] = char(lo);
    shr[at + 1] = char(hi);
}

TEST(ShrPreviewTest, TooShortGivesNothing) {
    EXPECT_FALSE(ShrPreview::decode(std::string(32711, '\0')));
    EXPECT_FALSE(ShrPreview::decodeFile("/nonexistent/screen.shr"));
}

TEST(ShrPreviewTest, AllZeroIsOpaqueBlack) {
    const auto image = ShrPreview::decode(std::string(32712, '\0'));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 320);
    EXPECT_EQ(image->height, 200);
    ASSERT_EQ(image->pixels.size(), 256000u);
    for (std::size_t i = 0; i < image->pixels.size(); i += 4) {
        ASSERT_EQ(pixel(*image, int(i / 4 % 320), int(i / 4 / 320)), (Rgba{0, 0, 0, 255}))
            << "pixel " << i / 4;
    }
}

TEST(ShrPreviewTest, LinesUseTheirPaletteFromByte32200) {
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
    EXPECT_EQ(pixel(*image, 0, 0), (Rgba{0x33, 0x55, 0xAA, 255}));
    EXPECT_EQ(pixel(*image, 0, 7), (Rgba{0x00, 0x00, 0xFF, 255}));
    EXPECT_EQ(pixel(*image, 1, 7), (Rgba{0xFF, 0xFF, 0x00, 255}));
    EXPECT_EQ(pixel(*image, 318, 7), (Rgba{0xFF, 0xFF, 0x00, 255}));
    EXPECT_EQ(pixel(*image, 319, 7), (Rgba{0x00, 0x00, 0xFF, 255}));
    EXPECT_EQ(pixel(*image, 2, 7), (Rgba{0, 0, 0, 255})) << "colour 0 of palette 15, not of 0";
    EXPECT_EQ(pixel(*image, 0, 8), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(pixel(*image, 5, 199), (Rgba{0x33, 0x55, 0xAA, 255}));

    // A longer file decodes the same: what follows byte 32712 is not read.
    const std::string longer = shr + std::string(56, '\xFF');
    const auto same = ShrPreview::decode(longer);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->pixels, image->pixels);
}

} // namespace
} // namespace vorn
