#include "ThemedLabel.h"

#include "Paint.h"
#include "model/Look.h"

#include <QPainter>

namespace vorn {

ThemedLabel::ThemedLabel(Look& look, int size, Tone tone, bool bold, QWidget* parent)
    : QLabel(parent), m_look(look), m_size(size), m_tone(tone), m_bold(bold) {
    connect(&look, &Look::changed, this, &ThemedLabel::restyle);
    restyle();
}

QColor ThemedLabel::color(const Theme& theme, Tone tone) {
    switch (tone) {
    case Tone::dim:
        return theme.dim;
    case Tone::faint:
        return theme.faint;
    case Tone::accent:
        return theme.accent;
    case Tone::warn:
        return theme.warn;
    case Tone::error:
        return theme.error;
    case Tone::title:
        return theme.titleText;
    case Tone::text:
        break;
    }
    return theme.text;
}

void ThemedLabel::setShownText(const QString& text) {
    m_text = text;
    setText(m_upper && m_look.theme().isPhosphor ? text.toUpper() : text);
}

void ThemedLabel::setTone(Tone tone) {
    if (tone != m_tone) {
        m_tone = tone;
        restyle();
    }
}

void ThemedLabel::setFontSize(int size, bool bold) {
    m_size = size;
    m_bold = bold;
    restyle();
}

void ThemedLabel::setOpacity(double opacity) {
    m_opacity = opacity;
    restyle();
}

void ThemedLabel::setUpperInPhosphor(bool on) {
    m_upper = on;
    setShownText(m_text);
}

void ThemedLabel::setElide(Qt::TextElideMode mode) {
    m_elide = mode;
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
    updateGeometry();
}

QSize ThemedLabel::minimumSizeHint() const {
    if (m_elide == Qt::ElideNone) {
        return QLabel::minimumSizeHint();
    }
    return {fontMetrics().horizontalAdvance(QStringLiteral("M...M")),
            QLabel::minimumSizeHint().height()};
}

void ThemedLabel::restyle() {
    const Theme& theme = m_look.theme();
    setFont(theme.font(m_size, m_bold));
    QPalette p = palette();
    QColor c = color(theme, m_tone);
    c.setAlphaF(float(m_opacity));
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    setPalette(p);
    if (!m_text.isEmpty()) {
        setShownText(m_text);
    }
}

void ThemedLabel::paintEvent(QPaintEvent* event) {
    if (m_elide == Qt::ElideNone || wordWrap()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const QRect area = contentsRect();
    p.drawText(area, int(alignment()) | Qt::TextSingleLine,
               fontMetrics().elidedText(text(), m_elide, area.width()));
}

} // namespace vorn
