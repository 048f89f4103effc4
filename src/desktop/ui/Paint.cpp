#include "Paint.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace vorn::Paint {
namespace {

QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(float(c.alphaF() * alpha));
    return c;
}

// A rectangle whose 1-pixel outline falls on whole pixels.
QRectF crisp(const QRectF& r, double pen) {
    const double half = pen / 2;
    return r.adjusted(half, half, -half, -half);
}

} // namespace

void controlOpacity(QPainter& p, bool enabled, bool down) {
    if (!enabled) {
        p.setOpacity(0.3);
    } else if (down) {
        p.setOpacity(0.6);
    }
}

QColor selectedInk(const Theme& theme) {
    // The IIGS look's background is a blue as dark as its selection; white reads there.
    return theme.isPhosphor ? theme.background : QColor(Qt::white);
}

QColor readGreen() {
    return QColor::fromRgbF(0.25f, 0.86f, 0.4f);
}

void panel(QPainter& p, const QRectF& r, const Theme& theme) {
    Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor edge(0, 0, 0, 89); // black at 35%
    if (theme.isPhosphor) {
        // A dark halo around a thin phosphor line: the tube's glass edge.
        p.fillRect(r.adjusted(-1, -1, 1, 1), edge);
        p.fillRect(r, theme.panel);
        p.setPen(QPen(theme.panelStroke, 1));
    } else {
        // The IIGS window's drop edge, bottom right.
        p.fillRect(r.translated(2, 2), edge);
        p.fillRect(r, theme.panel);
        p.setPen(QPen(theme.panelStroke, 1.5));
    }
    p.setBrush(Qt::NoBrush);
    p.drawRect(crisp(r, 1));
}

void titleBar(QPainter& p, const QRectF& r, const QString& title, const Theme& theme, int size) {
    Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, theme.titleBar);
    const QColor rule = theme.isPhosphor ? theme.faint : QColor(0, 0, 0, 115); // 45%
    for (double y = r.top() + 3; y < r.bottom() - 3; y += 2) {
        p.fillRect(QRectF(r.left() + 2, y, r.width() - 4, 1), rule);
    }
    const QFont font = theme.font(size, true);
    const QFontMetricsF metrics(font);
    const QString shown = metrics.elidedText(title, Qt::ElideRight, r.width() - 40);
    const double w = metrics.horizontalAdvance(shown) + 12; // 6 pixels each side
    const QRectF plate(r.center().x() - w / 2, r.top() + 1, w, r.height() - 2);
    p.fillRect(plate, theme.titleBar);
    p.setFont(font);
    p.setPen(theme.isPhosphor ? theme.titleText : theme.text);
    p.drawText(plate, Qt::AlignCenter | Qt::TextSingleLine, shown);
    p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1),
               theme.isPhosphor ? theme.panelStroke : QColor(Qt::black));
}

QSizeF inverseChipSize(const QString& text, const Theme& theme) {
    const QFontMetricsF metrics(theme.font(11, true));
    return {std::ceil(metrics.horizontalAdvance(text)) + 2, std::ceil(metrics.height()) + 2};
}

void inverseChip(QPainter& p, const QRectF& r, const QString& text, const Theme& theme,
                 std::optional<QColor> color, std::optional<QColor> fg) {
    Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, color.value_or(theme.chipBG));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(crisp(r, 1));
    p.setFont(theme.font(11, true));
    p.setPen(fg.value_or(theme.chipFG));
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void typeChip(QPainter& p, const QRectF& r, QChar letter, const Theme& theme, bool dimmed) {
    Saver saver(p);
    if (dimmed) {
        p.setOpacity(theme.isPhosphor ? 0.5 : 0.6);
    }
    inverseChip(p, r, QString(letter), theme);
}

void activityLight(QPainter& p, const QPointF& centre, Activity activity, const Theme& theme) {
    Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    if (activity == Activity::none) {
        p.setBrush(withAlpha(theme.faint, theme.isPhosphor ? 0.5 : 0.35));
        p.drawEllipse(centre, 3, 3);
        return;
    }
    const QColor color = activity == Activity::read ? readGreen() : theme.warn;
    QRadialGradient glow(centre, 6);
    glow.setColorAt(0.4, withAlpha(color, 0.8));
    glow.setColorAt(1.0, withAlpha(color, 0));
    p.setBrush(glow);
    p.drawEllipse(centre, 6, 6);
    p.setBrush(color);
    p.drawEllipse(centre, 3, 3);
}

void rainbowStripes(QPainter& p, const QPointF& topLeft, double width) {
    static const QColor stripes[] = {
        QColor::fromRgbF(0.38f, 0.72f, 0.28f), QColor::fromRgbF(0.99f, 0.79f, 0.2f),
        QColor::fromRgbF(0.96f, 0.55f, 0.14f), QColor::fromRgbF(0.89f, 0.24f, 0.16f),
        QColor::fromRgbF(0.58f, 0.23f, 0.58f), QColor::fromRgbF(0.19f, 0.42f, 0.79f)};
    Saver saver(p);
    for (int i = 0; i < 6; ++i) {
        p.fillRect(QRectF(topLeft.x(), topLeft.y() + 3 * i, width, 3), stripes[i]);
    }
}

void scanlines(QPainter& p, const QSizeF& size) {
    Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath path;
    for (double y = 0; y < size.height(); y += 3) {
        path.addRect(0, y, size.width(), 1);
    }
    p.fillPath(path, QColor(0, 0, 0, 56)); // black at 22%
}

void folderGlyph(QPainter& p, const QRectF& r, bool open, const QColor& color) {
    Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(color, 1.2));
    p.setBrush(Qt::NoBrush);
    const double x = r.left() + 1, y = r.top() + 2, w = r.width() - 2, h = r.height() - 4;
    QPainterPath back;
    back.moveTo(x, y + h);
    back.lineTo(x, y);
    back.lineTo(x + w * 0.4, y);
    back.lineTo(x + w * 0.5, y + h * 0.2);
    back.lineTo(x + w, y + h * 0.2);
    back.lineTo(x + w, y + h);
    back.closeSubpath();
    p.drawPath(back);
    if (open) {
        // The front flap tipped forward.
        QPainterPath flap;
        flap.moveTo(x, y + h);
        flap.lineTo(x + w * 0.22, y + h * 0.45);
        flap.lineTo(x + w + 1, y + h * 0.45);
        flap.lineTo(x + w, y + h);
        p.setBrush(color);
        p.drawPath(flap);
    }
}

void disclosure(QPainter& p, const QRectF& r, double turn, const QColor& color) {
    Saver saver(p);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(r.center());
    p.rotate(90 * turn);
    const double s = std::min(r.width(), r.height()) / 2 - 0.5;
    QPainterPath triangle;
    triangle.moveTo(-s * 0.55, -s * 0.8);
    triangle.lineTo(s * 0.75, 0);
    triangle.lineTo(-s * 0.55, s * 0.8);
    triangle.closeSubpath();
    p.fillPath(triangle, color);
}

void categoryBadge(QPainter& p, const QRectF& r, const Theme& theme, bool on, bool outline) {
    if (on) {
        inverseChip(p, r, QStringLiteral("]["), theme, theme.category, theme.categoryFG);
    } else if (outline) {
        Saver saver(p);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(theme.category, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(crisp(r, 1));
    }
}

double checkMarkWidth(double height, const Theme& theme) {
    if (theme.isPhosphor) {
        return std::ceil(QFontMetricsF(theme.font(12, true)).horizontalAdvance("[X]"));
    }
    return std::round(height * 0.8);
}

double checkMark(QPainter& p, const QPointF& topLeft, double height, bool on, const Theme& theme,
                 const QColor& color) {
    Saver saver(p);
    const double w = checkMarkWidth(height, theme);
    if (theme.isPhosphor) {
        p.setFont(theme.font(12, true));
        p.setPen(color);
        p.drawText(QRectF(topLeft, QSizeF(w, height)), Qt::AlignCenter,
                   on ? QStringLiteral("[X]") : QStringLiteral("[ ]"));
        return w;
    }
    const QRectF box(topLeft.x(), topLeft.y() + (height - w) / 2, w, w);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(box, Qt::white);
    p.setPen(QPen(color, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(crisp(box, 1.2));
    if (on) {
        p.setFont(theme.font(int(w) - 2, true));
        p.drawText(box, Qt::AlignCenter, QStringLiteral("X"));
    }
    return w;
}

} // namespace vorn::Paint
