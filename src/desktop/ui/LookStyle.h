#pragma once
// The application's style: Qt's Fusion, which draws the same on every desktop, with the
// table header's grab area widened to the column handles' 18 pixels and focus frames in
// the look's accent colour. The palettes of the two looks live here too.

#include "model/Theme.h"

#include <QPalette>
#include <QProxyStyle>

namespace vorn {

class LookStyle : public QProxyStyle {
    Q_OBJECT
public:
    LookStyle();

    /// The look whose colours the style draws with.
    void setTheme(const Theme& theme) { m_theme = &theme; }

    /// The colours of the look's own widgets (fields, lists, scroll bars, selections).
    static QPalette palette(const Theme& theme);
    /// The colours of menus and tooltips: dark in both looks, phosphor-green in the 8-bit one.
    static QPalette popupPalette(const Theme& theme);
    /// Gives the application the look's popup colours, tooltip font and style.
    static void applyToApplication(const Theme& theme);

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    const Theme* m_theme;
};

} // namespace vorn
