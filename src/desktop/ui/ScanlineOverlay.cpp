#include "ScanlineOverlay.h"

#include "Paint.h"
#include "model/Look.h"

#include <QChildEvent>
#include <QEvent>
#include <QPainter>

namespace vorn {

ScanlineOverlay::ScanlineOverlay(Look& look, QWidget* parent) : QWidget(parent), m_look(look) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    parent->installEventFilter(this);
    connect(&look, &Look::changed, this, &ScanlineOverlay::follow);
    follow();
}

void ScanlineOverlay::follow() {
    setGeometry(parentWidget()->rect());
    setVisible(m_look.theme().isPhosphor);
    raise();
}

bool ScanlineOverlay::eventFilter(QObject* watched, QEvent* event) {
    // Children added later would stack above the overlay: it goes back on top.
    if (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded ||
        event->type() == QEvent::Show) {
        follow();
    }
    return QWidget::eventFilter(watched, event);
}

void ScanlineOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint::scanlines(p, size());
}

} // namespace vorn
