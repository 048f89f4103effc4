#pragma once
// The six colour stripes of the Apple logo, 3 pixels each, as wide as the widget.

#include <QWidget>

namespace vorn {

class RainbowStripes : public QWidget {
    Q_OBJECT
public:
    explicit RainbowStripes(int width, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vorn
