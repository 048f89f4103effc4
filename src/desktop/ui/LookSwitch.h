#pragma once
// The look switch of the title row: two segments, "8-BIT" and "IIGS", the current look
// highlighted; choosing one switches the whole window.

#include <QWidget>

namespace vorn {

class A2Button;
class ShareModel;

class LookSwitch : public QWidget {
    Q_OBJECT
public:
    explicit LookSwitch(ShareModel& model, QWidget* parent = nullptr);

    A2Button* eightBit() const { return m_eightBit; }
    A2Button* gs() const { return m_gs; }

private:
    void showLook();

    ShareModel& m_model;
    A2Button* m_eightBit;
    A2Button* m_gs;
};

} // namespace vorn
