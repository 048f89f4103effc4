#include "BadgeMark.h"

#include "Paint.h"
#include "model/Look.h"

#include <QPainter>

namespace vorn {

BadgeMark::BadgeMark(Look& look, QWidget* parent) : QWidget(parent), m_look(look) {
    connect(&look, &Look::changed, this, [this] {
        updateGeometry();
        update();
    });
}

QSize BadgeMark::sizeHint() const {
    return Paint::inverseChipSize(QStringLiteral("]["), m_look.theme()).toSize();
}

void BadgeMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QSizeF chip = Paint::inverseChipSize(QStringLiteral("]["), m_look.theme());
    const QRectF r(0, (height() - chip.height()) / 2, chip.width(), chip.height());
    Paint::categoryBadge(p, r, m_look.theme(), true, false);
}

} // namespace vorn
