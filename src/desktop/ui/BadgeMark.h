#pragma once
// The category badge "][" on its own, as the share card's legend shows it.

#include <QWidget>

namespace vorn {

class Look;

class BadgeMark : public QWidget {
    Q_OBJECT
public:
    explicit BadgeMark(Look& look, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look& m_look;
};

} // namespace vorn
