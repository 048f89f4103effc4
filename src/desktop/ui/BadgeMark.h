#pragma once
// The category badge "][" on its own, as the share card's legend shows it.

#include <QWidget>

namespace vorn {

class ShareModel;

class BadgeMark : public QWidget {
    Q_OBJECT
public:
    explicit BadgeMark(ShareModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ShareModel& m_model;
};

} // namespace vorn
