#pragma once
// The handle between the sidebar and the table: 28 pixels wide with a 1-pixel line.
// Dragging resizes the sidebar from the width it had when the drag began, a double click
// fits it to its rows, and with the keyboard the arrows move it 10 pixels at a time.

#include <QWidget>
#include <functional>
#include <optional>

namespace vorn {

class Look;

class SplitHandle : public QWidget {
    Q_OBJECT
public:
    /// `width` tells the sidebar's width now.
    SplitHandle(Look& look, std::function<double()> width, QWidget* parent = nullptr);

signals:
    /// The sidebar should be `width` wide (not yet kept within its limits).
    void resizeTo(double width);
    /// A drag or a key press ended: the width may be stored.
    void resizeEnded();
    /// A double click: fit the sidebar to its rows.
    void fitRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Look& m_look;
    std::function<double()> m_width;
    double m_pressX = 0;
    /// The sidebar's width when the drag began, from its first move to its end.
    std::optional<double> m_dragStartWidth;
};

} // namespace vorn
