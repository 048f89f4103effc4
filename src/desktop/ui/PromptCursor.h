#pragma once
// The Apple II prompt: "]" and a cursor block that blinks every 0.55 seconds while shown.

#include <QTimer>
#include <QWidget>

namespace vorn {

class Look;

class PromptCursor : public QWidget {
    Q_OBJECT
public:
    PromptCursor(Look& look, int size, QWidget* parent = nullptr);

    /// Whether the block is showing now.
    bool on() const { return m_on; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Look& m_look;
    int m_size;
    bool m_on = true;
    QTimer m_blink;
};

} // namespace vorn
