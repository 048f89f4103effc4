#include "A2Button.h"

#include "Paint.h"
#include "model/Look.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace vorn {

A2Button::A2Button(Look& look, const QString& text, QWidget* parent)
    : QPushButton(text, parent), m_look(look) {
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
    connect(&look, &Look::changed, this, [this] {
        updateGeometry();
        update();
    });
}

void A2Button::setProminent(bool on) {
    m_prominent = on;
    update();
}

void A2Button::setColor(std::optional<QColor> color) {
    m_color = std::move(color);
    update();
}

void A2Button::setTextSize(int size) {
    m_size = size;
    updateGeometry();
}

void A2Button::setInset(int inset) {
    m_inset = inset;
    updateGeometry();
}

QSize A2Button::sizeHint() const {
    const QFontMetrics metrics(m_look.theme().font(m_size, true));
    return {metrics.horizontalAdvance(text()) + 2 * m_inset + 2, metrics.height() + 8};
}

void A2Button::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    Paint::controlOpacity(p, isEnabled(), isDown());
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    const QColor ink = m_color.value_or(theme.text);
    if (theme.isPhosphor) {
        paintPhosphor(p, r, ink);
    } else {
        paintGs(p, r, ink);
    }
    if (hasFocus()) {
        Paint::Saver saver(p);
        p.setOpacity(1);
        p.setPen(QPen(theme.accent, 1, Qt::DotLine));
        p.drawRect(r.adjusted(2.5, 2.5, -2.5, -2.5));
    }
}

void A2Button::paintGs(QPainter& p, const QRectF& r, const QColor& ink) {
    Paint::Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, true);
    const bool inverse = isChecked();
    QPainterPath shape;
    shape.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    p.fillPath(shape, inverse ? QColor(Qt::black) : QColor(Qt::white));
    p.setPen(QPen(ink, m_prominent ? 2 : 1));
    p.drawPath(shape);
    p.setFont(m_look.theme().font(m_size, true));
    p.setPen(inverse ? QColor(Qt::white) : ink);
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text());
}

void A2Button::paintPhosphor(QPainter& p, const QRectF& r, const QColor& ink) {
    Paint::Saver saver(p);
    const Theme& theme = m_look.theme();
    const bool inverse = isChecked() || m_prominent;
    p.fillRect(r, inverse ? ink : theme.panel);
    p.setPen(QPen(ink, 1));
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setFont(theme.font(m_size, true));
    p.setPen(inverse ? theme.chipFG : ink);
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text());
}

} // namespace vorn
