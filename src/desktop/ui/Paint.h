#pragma once
// The decorations both looks draw with: panels, IIGS title bars, chips, the activity
// light, rainbow stripes, scanlines, folder glyphs, disclosure triangles and check marks.
// Every function leaves the painter as it found it, so widgets and delegates can mix them
// with their own drawing.

#include "model/Activity.h"
#include "model/Theme.h"

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <optional>

namespace vorn::Paint {

/// Saves the painter's state and restores it when it goes out of scope.
class Saver {
public:
    explicit Saver(QPainter& painter) : m_painter(painter) { m_painter.save(); }
    ~Saver() { m_painter.restore(); }
    Saver(const Saver&) = delete;
    Saver& operator=(const Saver&) = delete;

private:
    QPainter& m_painter;
};

/// A control's state as the looks show it: 30% opacity when disabled, 60% while pressed.
void controlOpacity(QPainter& p, bool enabled, bool down);

/// The text of a selected row on the look's selection: the inverse of the look.
QColor selectedInk(const Theme& theme);

/// Height of a panel's title bar.
inline constexpr int titleBarHeight = 18;
/// The green of a read, the same in both looks.
QColor readGreen();

/// A panel: its fill inside its stroke, with a dark edge.
void panel(QPainter& p, const QRectF& r, const Theme& theme);
/// The IIGS window title bar: rules across the bar behind the title, which sits on the
/// bar's colour; `size` is the title's font size.
void titleBar(QPainter& p, const QRectF& r, const QString& title, const Theme& theme,
              int size = 12);
/// A small inverse label: 11-pixel bold text on a chip with a black outline, 1 pixel of
/// inset round the text.
void inverseChip(QPainter& p, const QRectF& r, const QString& text, const Theme& theme,
                 std::optional<QColor> color = std::nullopt,
                 std::optional<QColor> fg = std::nullopt);
/// The size an inverse chip of `text` needs.
QSizeF inverseChipSize(const QString& text, const Theme& theme);
/// The one-letter kind mark of a table row; `dimmed` for items still converting.
void typeChip(QPainter& p, const QRectF& r, QChar letter, const Theme& theme, bool dimmed);
/// A 6-pixel dot: faint when idle, glowing green for a read and in the warning colour for
/// a write.
void activityLight(QPainter& p, const QPointF& centre, Activity activity, const Theme& theme);
/// Six horizontal stripes, 3 pixels each, green to blue, from `topLeft`.
void rainbowStripes(QPainter& p, const QPointF& topLeft, double width);
/// A CRT overlay: a 1-pixel line every 3 pixels from the top.
void scanlines(QPainter& p, const QSizeF& size);
/// A small folder symbol, open or closed.
void folderGlyph(QPainter& p, const QRectF& r, bool open, const QColor& color);
/// A triangle pointing right, turned clockwise by `turn` (0 closed, 1 open: pointing down).
void disclosure(QPainter& p, const QRectF& r, double turn, const QColor& color);
/// The category badge "][": filled when the folder is a category, an outline when it is
/// not and the pointer is over its row, nothing otherwise.
void categoryBadge(QPainter& p, const QRectF& r, const Theme& theme, bool on, bool outline);
/// The check mark of the look: "[X]" / "[ ]" in the 8-bit look, a bordered box with an X in
/// the IIGS look; returns the width it took.
double checkMark(QPainter& p, const QPointF& topLeft, double height, bool on, const Theme& theme,
                 const QColor& color);
/// The width checkMark() takes.
double checkMarkWidth(double height, const Theme& theme);

} // namespace vorn::Paint
