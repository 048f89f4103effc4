#include "A2Toggle.h"

#include "Paint.h"
#include "model/Look.h"

#include <QFontMetrics>
#include <QPainter>

namespace vorn {
namespace {
constexpr int kHeight = 20;
constexpr int kGap = 6;
} // namespace

A2Toggle::A2Toggle(Look& look, const QString& text, QWidget* parent)
    : QCheckBox(text, parent), m_look(look) {
    setFocusPolicy(Qt::StrongFocus);
    connect(&look, &Look::changed, this, [this] {
        updateGeometry();
        update();
    });
}

QSize A2Toggle::sizeHint() const {
    const Theme& theme = m_look.theme();
    const int mark = int(Paint::checkMarkWidth(kHeight - 6, theme));
    const int label =
        text().isEmpty() ? 0 : kGap + QFontMetrics(theme.font(11)).horizontalAdvance(text());
    return {mark + label + 4, kHeight};
}

void A2Toggle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    Paint::controlOpacity(p, isEnabled(), isDown());
    const double markHeight = kHeight - 6;
    const double top = (height() - markHeight) / 2;
    const QColor ink = theme.isPhosphor ? theme.text : QColor(Qt::black);
    const double w = Paint::checkMark(p, QPointF(2, top), markHeight, isChecked(), theme, ink);
    if (!text().isEmpty()) {
        p.setFont(theme.font(11));
        p.setPen(theme.text);
        p.drawText(QRectF(2 + w + kGap, 0, width() - w - kGap - 2, height()),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text());
    }
    if (hasFocus()) {
        p.setOpacity(1);
        p.setPen(QPen(theme.accent, 1, Qt::DotLine));
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

} // namespace vorn
