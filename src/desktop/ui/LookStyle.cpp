#include "LookStyle.h"

#include "Paint.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>

namespace vorn {

LookStyle::LookStyle()
    : QProxyStyle(QStyleFactory::create("Fusion")), m_theme(&Theme::phosphor()) {}

QPalette LookStyle::palette(const Theme& t) {
    QPalette p;
    const QColor field = t.isPhosphor ? t.background : QColor(Qt::white);
    p.setColor(QPalette::Window, t.background);
    p.setColor(QPalette::WindowText, t.text);
    p.setColor(QPalette::Base, field);
    p.setColor(QPalette::AlternateBase, t.panel);
    p.setColor(QPalette::Text, t.text);
    p.setColor(QPalette::Button, t.panel);
    p.setColor(QPalette::ButtonText, t.text);
    p.setColor(QPalette::BrightText, t.error);
    p.setColor(QPalette::Highlight, t.accent);
    p.setColor(QPalette::HighlightedText, Paint::selectedInk(t));
    p.setColor(QPalette::PlaceholderText, t.faint);
    p.setColor(QPalette::Link, t.accent);
    p.setColor(QPalette::Light, t.isPhosphor ? t.dim : QColor(Qt::white));
    p.setColor(QPalette::Midlight, t.panel);
    p.setColor(QPalette::Mid, t.faint);
    p.setColor(QPalette::Dark, t.isPhosphor ? t.faint : t.dim);
    p.setColor(QPalette::Shadow, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, t.faint);
    }
    return p;
}

QPalette LookStyle::popupPalette(const Theme& t) {
    if (t.isPhosphor) {
        QPalette p = palette(t);
        p.setColor(QPalette::Window, t.panel);
        p.setColor(QPalette::ToolTipBase, t.panel);
        p.setColor(QPalette::ToolTipText, t.text);
        return p;
    }
    // The IIGS look's own colours are light; menus and tooltips keep the dark scheme.
    QPalette p;
    const QColor dark(0x2b, 0x2d, 0x31), light(0xee, 0xee, 0xee);
    p.setColor(QPalette::Window, dark);
    p.setColor(QPalette::WindowText, light);
    p.setColor(QPalette::Base, QColor(0x1f, 0x21, 0x24));
    p.setColor(QPalette::Text, light);
    p.setColor(QPalette::Button, dark);
    p.setColor(QPalette::ButtonText, light);
    p.setColor(QPalette::Highlight, t.accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, dark);
    p.setColor(QPalette::ToolTipText, light);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    return p;
}

void LookStyle::applyToApplication(const Theme& theme) {
    if (auto* style = qobject_cast<LookStyle*>(QApplication::style())) {
        style->setTheme(theme);
    }
    QApplication::setPalette(popupPalette(theme));
    QToolTip::setPalette(popupPalette(theme));
    QToolTip::setFont(theme.font(12));
}

int LookStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                           const QWidget* widget) const {
    if (metric == PM_HeaderGripMargin) {
        return 9; // each side of a column's edge: an 18-pixel handle
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void LookStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                              QPainter* painter, const QWidget* widget) const {
    if (element == PE_FrameFocusRect) {
        Paint::Saver saver(*painter);
        painter->setPen(QPen(m_theme->accent, 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

} // namespace vorn
