#pragma once
// The sheet that says which conversion tools the machine has and offers the commands that
// install the missing ones: copy a command, paste it in a terminal, then "Recheck". Open
// while the model's showConversionHelp() is true; closing it remembers that the user has
// seen it, so that it no longer opens by itself at launch.

#include "Sheet.h"

namespace vorn {

class A2Button;
class CommandBar;
class ShareModel;
class ThemedLabel;
class ToolRow;
class ToolsModel;

class ConversionHelpSheet : public Sheet {
    Q_OBJECT
public:
    /// Shows the tools of `tools`; `model` gives the look, the work and the clipboard.
    ConversionHelpSheet(ShareModel& model, ToolsModel& tools, bool snapshotMode,
                        QWidget* parent = nullptr);

    ToolRow* disksRow() const { return m_disks; }
    ToolRow* packageRow() const { return m_package; }
    ToolRow* audioRow() const { return m_audio; }
    ToolRow* picturesRow() const { return m_pictures; }
    /// The line that installs both converters; shown while both are missing.
    CommandBar* bothBar() const { return m_both; }
    A2Button* recheckButton() const { return m_recheck; }

protected:
    void closeByUser() override;

private:
    QWidget* bothBlock();
    void refresh();

    ToolsModel& m_tools;
    ToolRow* m_disks;
    ToolRow* m_package;
    ToolRow* m_audio;
    ToolRow* m_pictures;
    QWidget* m_bothBlock = nullptr;
    CommandBar* m_both = nullptr;
    A2Button* m_recheck;
    ThemedLabel* m_allReady;
};

} // namespace vorn
