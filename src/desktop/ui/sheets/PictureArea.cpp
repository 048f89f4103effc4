#include "PictureArea.h"

#include "model/Look.h"
#include "ui/ThemedLabel.h"

#include <QPainter>
#include <QVBoxLayout>

namespace vorn {

PictureArea::PictureArea(Look& look, QWidget* parent)
    : QWidget(parent), m_look(look), m_message(new ThemedLabel(look, 12, Tone::dim, true, this)),
      m_hint(new ThemedLabel(look, 11, Tone::dim, false, this)) {
    setFixedSize(areaWidth, areaHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(6);
    column->addStretch(1);
    for (ThemedLabel* label : {m_message, m_hint}) {
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        column->addWidget(label);
    }
    column->addStretch(1);
    connect(&look, &Look::changed, this, qOverload<>(&QWidget::update));
    showMessage({});
}

void PictureArea::showImage(const QImage& image, bool fit) {
    m_image = image;
    m_fit = fit;
    m_message->hide();
    m_hint->hide();
    setAccessibleName({});
    update();
}

void PictureArea::showMessage(const QString& message, const QString& hint) {
    m_message->setFontSize(12, true);
    m_image = QImage();
    m_message->setShownText(message);
    m_message->setVisible(!message.isEmpty());
    m_hint->setShownText(hint);
    m_hint->setVisible(!hint.isEmpty());
    setAccessibleName(message);
    update();
}

void PictureArea::showFailure(const QString& message) {
    showMessage(message);
    m_message->setFontSize(11, false);
}

QString PictureArea::message() const {
    return m_message->isHidden() ? QString() : m_message->shownText();
}

QRectF PictureArea::imageRect() const {
    const QSizeF own = m_image.deviceIndependentSize();
    const QSizeF shown = m_fit ? own.scaled(size(), Qt::KeepAspectRatio) : own;
    return {(width() - shown.width()) / 2, (height() - shown.height()) / 2, shown.width(),
            shown.height()};
}

void PictureArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    p.fillRect(rect(), theme.isPhosphor ? theme.background : QColor(Qt::white));
    if (!m_image.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, m_fit);
        p.drawImage(imageRect(), m_image);
    }
    p.setPen(QPen(theme.isPhosphor ? theme.panelStroke : QColor(Qt::black), 1));
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace vorn
