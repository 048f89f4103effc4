#pragma once
// The CRT overlay of the 8-bit look: dark lines every 3 pixels over everything its parent
// shows. It follows the parent's size, lets every click through and hides in the IIGS look.

#include <QWidget>

namespace vorn {

class Look;

class ScanlineOverlay : public QWidget {
    Q_OBJECT
public:
    /// Covers `parent`, on top of its other children.
    ScanlineOverlay(Look& look, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();

    Look& m_look;
};

} // namespace vorn
