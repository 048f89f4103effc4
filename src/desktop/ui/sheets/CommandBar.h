#pragma once
// An install command to paste in a terminal: the command in a small monospaced font, which
// the user can select, and a "Copy" button that reads "Copied" while the model says this
// command was just copied.

#include <QWidget>

namespace vorn {

class A2Button;
class ShareModel;
class ThemedLabel;

class CommandBar : public QWidget {
    Q_OBJECT
public:
    CommandBar(ShareModel& model, QWidget* parent = nullptr);

    void setCommand(const QString& command);
    const QString& command() const { return m_command; }
    A2Button* copyButton() const { return m_copy; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();
    void showCopied();

    ShareModel& m_model;
    QString m_command;
    ThemedLabel* m_text;
    A2Button* m_copy;
};

} // namespace vorn
