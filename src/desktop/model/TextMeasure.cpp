#include "TextMeasure.h"

#include "Theme.h"

#include <QString>
#include <cmath>

namespace vorn {

double TextMeasure::width(std::string_view text, UITheme look, int size, bool bold) {
    std::unique_ptr<Font>& font = m_fonts[{look, size, bold}];
    if (!font) {
        font = std::make_unique<Font>(QFontMetricsF(Theme::of(look).font(size, bold)));
    }
    if (auto it = font->widths.find(text); it != font->widths.end()) {
        return it->second;
    }
    if (font->widths.size() >= maxEntries) {
        font->widths.clear();
    }
    const QString q = QString::fromUtf8(text.data(), qsizetype(text.size()));
    const double w = std::ceil(font->metrics.horizontalAdvance(q));
    font->widths.emplace(text, w);
    return w;
}

} // namespace vorn
