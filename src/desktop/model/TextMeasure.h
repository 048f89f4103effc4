#pragma once
// Text widths in the looks' fonts, remembered per distinct text and font: fitting a
// column measures every row, and rows repeat (dates, sizes) and survive rescans.

#include "UITheme.h"

#include <QFontMetricsF>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>

namespace vorn {

class TextMeasure {
public:
    /// Width of `text` in the look's font of `size` pixels, rounded up to a whole pixel.
    double width(std::string_view text, UITheme look, int size, bool bold);

    /// Remembered widths per font beyond which the memory is dropped and built again, so
    /// that a long session over changing libraries does not grow without end.
    static constexpr std::size_t maxEntries = 200000;

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    struct Font {
        explicit Font(const QFontMetricsF& m) : metrics(m) {}
        QFontMetricsF metrics;
        std::unordered_map<std::string, double, Hash, std::equal_to<>> widths;
    };

    std::map<std::tuple<UITheme, int, bool>, std::unique_ptr<Font>> m_fonts;
};

} // namespace vorn
