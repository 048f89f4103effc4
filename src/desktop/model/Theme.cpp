#include "Theme.h"

#include <QFontDatabase>

namespace vorn {
namespace {

QColor rgb(double r, double g, double b, double a = 1.0) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}

Theme makePhosphor() {
    const QColor black = rgb(0.045, 0.055, 0.045);
    const QColor green = rgb(0.25, 0.86, 0.4);
    const QColor deep = rgb(0.07, 0.09, 0.07);
    const QColor faint = rgb(0.1, 0.3, 0.16);
    Theme t;
    t.isPhosphor = true;
    t.background = black;
    t.panel = deep;
    t.panelStroke = faint;
    t.titleBar = deep;
    t.text = green;
    t.dim = rgb(0.16, 0.52, 0.26);
    t.faint = faint;
    t.accent = green;
    t.warn = rgb(0.95, 0.7, 0.16);
    t.error = rgb(0.95, 0.35, 0.3);
    t.chipBG = green;
    t.chipFG = black;
    t.stripe = rgb(1, 1, 1, 0.02);
    t.titleText = green;
    t.category = rgb(1.0, 0.69, 0.0);
    t.categoryFG = black;
    return t;
}

Theme makeGsFinder() {
    const QColor black = rgb(0, 0, 0);
    const QColor white = rgb(1, 1, 1);
    const QColor bar = rgb(0.8, 0.8, 0.82);
    Theme t;
    t.isPhosphor = false;
    t.background = rgb(0.22, 0.36, 0.65);
    t.panel = rgb(0.93, 0.93, 0.93);
    t.panelStroke = black;
    t.titleBar = bar;
    t.text = black;
    t.dim = rgb(0.3, 0.3, 0.33);
    t.faint = rgb(0.55, 0.55, 0.58);
    t.accent = rgb(0.1, 0.25, 0.75);
    t.warn = rgb(0.75, 0.42, 0.02);
    t.error = rgb(0.75, 0.1, 0.08);
    t.chipBG = bar;
    t.chipFG = black;
    t.stripe = rgb(0, 0, 0, 0.045);
    t.titleText = white;
    t.category = rgb(0.55, 0.24, 0.64);
    t.categoryFG = white;
    return t;
}

} // namespace

const Theme& Theme::phosphor() {
    static const Theme theme = makePhosphor();
    return theme;
}

const Theme& Theme::gsFinder() {
    static const Theme theme = makeGsFinder();
    return theme;
}

const Theme& Theme::of(UITheme look) {
    return look == UITheme::gs ? gsFinder() : phosphor();
}

QFont Theme::font(int size, bool bold) const {
    QFont f = QFontDatabase::systemFont(isPhosphor ? QFontDatabase::FixedFont
                                                   : QFontDatabase::GeneralFont);
    // Sizes and column widths share one unit, the logical pixel (a point on the platform
    // the layout was designed on); a point size would grow with the screen's DPI while
    // the widths stayed put.
    f.setPixelSize(size);
    f.setBold(bold);
    return f;
}

} // namespace vorn
