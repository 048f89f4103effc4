#include "BadgeMark.h"

#include "Paint.h"
#include "model/ShareModel.h"

#include <QPainter>

namespace vorn {

BadgeMark::BadgeMark(ShareModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    connect(&model, &ShareModel::lookChanged, this, [this] {
        updateGeometry();
        update();
    });
}

QSize BadgeMark::sizeHint() const {
    return Paint::inverseChipSize(QStringLiteral("]["), m_model.theme()).toSize();
}

void BadgeMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QSizeF chip = Paint::inverseChipSize(QStringLiteral("]["), m_model.theme());
    const QRectF r(0, (height() - chip.height()) / 2, chip.width(), chip.height());
    Paint::categoryBadge(p, r, m_model.theme(), true, false);
}

} // namespace vorn
