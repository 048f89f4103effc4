#pragma once
// The push button of both looks: an 11-pixel bold label inside a 1-pixel outline, 14
// pixels of room either side. The IIGS look draws it black on white with rounded corners
// (the emphasised button with a second ring, as the IIGS marks its default button); the
// 8-bit look in phosphor lines, the emphasised or checked button inverse. A pressed button
// is drawn at 60% opacity, a disabled one at 30%.

#include <QPushButton>
#include <optional>

namespace vorn {

class Look;

class A2Button : public QPushButton {
    Q_OBJECT
public:
    A2Button(Look& look, const QString& text, QWidget* parent = nullptr);

    /// The emphasised button of its group (Start Sharing).
    void setProminent(bool on);
    /// Colours the label and outline instead of the look's text colour.
    void setColor(std::optional<QColor> color);
    /// Font size of the label (11 unless told).
    void setTextSize(int size);
    /// Horizontal room either side of the label (14 unless told).
    void setInset(int inset);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintGs(QPainter& p, const QRectF& r, const QColor& ink);
    void paintPhosphor(QPainter& p, const QRectF& r, const QColor& ink);

    Look& m_look;
    bool m_prominent = false;
    std::optional<QColor> m_color;
    int m_size = 11;
    int m_inset = 14;
};

} // namespace vorn
