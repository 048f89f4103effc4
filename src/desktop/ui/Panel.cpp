#include "Panel.h"

#include "Paint.h"
#include "model/Look.h"

#include <QPainter>

namespace vorn {

Panel::Panel(Look& look, QWidget* parent) : QWidget(parent), m_look(look) {
    updateMargins();
    connect(&look, &Look::changed, this, qOverload<>(&QWidget::update));
}

void Panel::setTitle(const QString& title) {
    m_title = title;
    setAccessibleName(title);
    updateMargins();
    update();
}

// A panel's title is a header, and the 8-bit look sets headers in capitals.
QString Panel::shownTitle() const {
    return m_look.theme().isPhosphor ? m_title.toUpper() : m_title;
}

void Panel::setInnerMargins(int left, int top, int right, int bottom) {
    m_inner = QMargins(left, top, right, bottom);
    updateMargins();
}

void Panel::updateMargins() {
    const int bar = m_title.isEmpty() ? 0 : Paint::titleBarHeight;
    setContentsMargins(m_inner.left(), m_inner.top() + bar, m_inner.right(), m_inner.bottom());
}

void Panel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    // Room for the IIGS drop edge at the bottom right.
    const QRectF r =
        QRectF(rect()).adjusted(1, 1, theme.isPhosphor ? -1 : -3, theme.isPhosphor ? -1 : -3);
    Paint::panel(p, r, theme);
    if (!m_title.isEmpty()) {
        Paint::titleBar(p, QRectF(r.left(), r.top(), r.width(), Paint::titleBarHeight),
                        shownTitle(), theme);
    }
}

} // namespace vorn
