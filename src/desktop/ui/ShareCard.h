#pragma once
// The share card: the library folder and its "Choose..." button, the share's settings,
// the address to type into the card with its "Copy" button, "Start Sharing" / "Stop
// Sharing", what to do on the Apple II, the last error and the legend of the category
// badge.

#include "Panel.h"

namespace vorn {

class A2Button;
class A2Toggle;
class ShareModel;
class ThemedField;
class ThemedLabel;

class ShareCard : public Panel {
    Q_OBJECT
public:
    /// In snapshot mode the port is plain text instead of a field.
    ShareCard(ShareModel& model, bool snapshotMode, QWidget* parent = nullptr);

    A2Button* startButton() const { return m_start; }
    A2Button* chooseButton() const { return m_choose; }
    A2Button* copyButton() const { return m_copy; }
    /// The Image Source URL as shown.
    ThemedLabel* addressLabel() const { return m_url; }
    A2Toggle* writableToggle() const { return m_writable; }
    A2Toggle* advertiseToggle() const { return m_advertise; }
    /// The port field; none in snapshot mode.
    ThemedField* portField() const { return m_portField; }

private:
    QLayout* libraryLine();
    QLayout* settingsLine(bool snapshotMode);
    QLayout* addressPart();
    QWidget* errorLine();
    QLayout* legendLine();
    void showFolder();
    void showSettings();
    void showSharing();
    void showError();
    void commitPort(const QString& text);

    ShareModel& m_model;
    A2Button* m_choose;
    A2Toggle* m_writable;
    A2Toggle* m_advertise;
    ThemedField* m_portField = nullptr;
    ThemedLabel* m_portText = nullptr;
    A2Button* m_copy;
    A2Button* m_start;
    ThemedLabel* m_path;
    ThemedLabel* m_url;
    QWidget* m_errorLine = nullptr;
    ThemedLabel* m_error = nullptr;
};

} // namespace vorn
