#include "PromptCursor.h"

#include "model/Look.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace vorn {

PromptCursor::PromptCursor(Look& look, int size, QWidget* parent)
    : QWidget(parent), m_look(look), m_size(size) {
    m_blink.setInterval(550);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_on = !m_on;
        update();
    });
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize PromptCursor::sizeHint() const {
    const QFontMetricsF metrics(m_look.theme().font(m_size, true));
    return {int(std::ceil(metrics.horizontalAdvance("]") + metrics.averageCharWidth() + 4)),
            int(std::ceil(metrics.height()))};
}

void PromptCursor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    const QFont font = theme.font(m_size, true);
    const QFontMetricsF metrics(font);
    p.setFont(font);
    p.setPen(theme.titleText);
    const double baseline = (height() + metrics.ascent() - metrics.descent()) / 2;
    p.drawText(QPointF(0, baseline), QStringLiteral("]"));
    if (m_on) {
        const double x = metrics.horizontalAdvance("]") + 1;
        p.fillRect(QRectF(x, baseline - metrics.ascent() + 2, metrics.averageCharWidth(),
                          metrics.ascent() - 1),
                   theme.titleText);
    }
}

void PromptCursor::showEvent(QShowEvent* event) {
    m_blink.start();
    QWidget::showEvent(event);
}

void PromptCursor::hideEvent(QHideEvent* event) {
    m_blink.stop();
    m_on = true;
    QWidget::hideEvent(event);
}

} // namespace vorn
