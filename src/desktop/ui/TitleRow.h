#pragma once
// The top row of the window: the Apple II prompt (8-bit look) or the rainbow (IIGS look),
// the program's title, its version and web address, the "Conversion tools..." button and
// the look switch.

#include "AppInfo.h"

#include <QWidget>

namespace vorn {

class A2Button;
class LookSwitch;
class PromptCursor;
class RainbowStripes;
class ShareModel;

class TitleRow : public QWidget {
    Q_OBJECT
public:
    TitleRow(ShareModel& model, const AppInfo& info, QWidget* parent = nullptr);

    A2Button* toolsButton() const { return m_tools; }
    LookSwitch* lookSwitch() const { return m_look; }

private:
    void showLook();

    ShareModel& m_model;
    PromptCursor* m_prompt;
    RainbowStripes* m_rainbow;
    A2Button* m_tools;
    LookSwitch* m_look;
};

} // namespace vorn
