#pragma once
// The check toggle of both looks: "[X]" or "[ ]" in 12-pixel bold before the 11-pixel
// label in the 8-bit look, a square box with a 1.2-pixel black border and an X in the
// IIGS look. The whole row toggles on a click.

#include <QCheckBox>

namespace vorn {

class Look;

class A2Toggle : public QCheckBox {
    Q_OBJECT
public:
    A2Toggle(Look& look, const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    Look& m_look;
};

} // namespace vorn
