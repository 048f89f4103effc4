#include "model/Theme.h"

#include <QFontMetricsF>
#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(ThemeTest, EachLookHasItsColoursAndFont) {
    const Theme& phosphor = Theme::of(UITheme::eightBit);
    const QFontMetricsF mono(phosphor.font(11));
    EXPECT_EQ(mono.horizontalAdvance("iiii"), mono.horizontalAdvance("MMMM"))
        << "the 8-bit look is monospaced";
}

} // namespace
} // namespace vorn
