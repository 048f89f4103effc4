#pragma once
// One tool of the conversion help: its title, "Ready" or "Need", a line of detail and,
// while the tool is missing, the command that installs it.

#include <QWidget>
#include <optional>

namespace vorn {

class CommandBar;
class ShareModel;
class ThemedLabel;

class ToolRow : public QWidget {
    Q_OBJECT
public:
    ToolRow(ShareModel& model, const QString& title, QWidget* parent = nullptr);

    /// `command`: the install command to offer; none hides the command bar.
    void showState(bool ready, const QString& detail, const std::optional<QString>& command);

    QString title() const;
    bool ready() const { return m_ready; }
    QString detail() const;
    /// The command bar; hidden when the row offers no command.
    CommandBar* commandBar() const { return m_bar; }

private:
    bool m_ready = false;
    ThemedLabel* m_title;
    ThemedLabel* m_status;
    ThemedLabel* m_detail;
    CommandBar* m_bar;
};

} // namespace vorn
