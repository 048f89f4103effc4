#include "SplitHandle.h"

#include "model/Look.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vorn {

SplitHandle::SplitHandle(Look& look, std::function<double()> width, QWidget* parent)
    : QWidget(parent), m_look(look), m_width(std::move(width)) {
    setFixedWidth(28);
    setCursor(Qt::SplitHCursor);
    setFocusPolicy(Qt::TabFocus);
    setToolTip("Drag to resize the Library column. Double-click to fit.");
    setAccessibleName("Library column width");
    connect(&look, &Look::changed, this, qOverload<>(&QWidget::update));
}

void SplitHandle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    const QColor line =
        hasFocus() ? theme.accent : (theme.isPhosphor ? theme.panelStroke : QColor(Qt::black));
    p.fillRect(QRectF(width() / 2, 4, 1, height() - 8), line);
}

void SplitHandle::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void SplitHandle::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void SplitHandle::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressX = event->globalPosition().x();
    }
}

void SplitHandle::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        return;
    }
    if (!m_dragStartWidth) {
        m_dragStartWidth = m_width();
    }
    emit resizeTo(*m_dragStartWidth + event->globalPosition().x() - m_pressX);
}

void SplitHandle::mouseReleaseEvent(QMouseEvent*) {
    if (m_dragStartWidth) {
        m_dragStartWidth.reset();
        emit resizeEnded();
    }
}

void SplitHandle::mouseDoubleClickEvent(QMouseEvent*) {
    emit fitRequested();
}

void SplitHandle::keyPressEvent(QKeyEvent* event) {
    const int step = event->key() == Qt::Key_Left ? -10 : event->key() == Qt::Key_Right ? 10 : 0;
    if (step != 0) {
        emit resizeTo(m_width() + step);
        emit resizeEnded();
    } else if (event->key() == Qt::Key_Space) {
        emit fitRequested();
    } else {
        QWidget::keyPressEvent(event);
    }
}

} // namespace vorn
