#include "RainbowStripes.h"

#include "Paint.h"

#include <QPainter>

namespace vorn {

RainbowStripes::RainbowStripes(int width, QWidget* parent) : QWidget(parent) {
    setFixedSize(width, 18);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RainbowStripes::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint::rainbowStripes(p, QPointF(0, 0), width());
}

} // namespace vorn
