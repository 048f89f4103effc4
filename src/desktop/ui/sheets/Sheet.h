#pragma once
// What the three sheets share: a dialog over the main window (window-modal, as a sheet
// is) drawn as a panel of the look, with a title bar carrying the closing button, a body
// with 16 pixels of inset, and the 8-bit look's scanlines over everything.
//
// A sheet is open while a flag of the model says so. The user's ways of closing it (the
// button, Escape, the window manager) go to closeByUser(), which changes the model; the
// sheet closes when the model's flag goes off, whoever turned it off.

#include <QDialog>

class QHBoxLayout;
class QVBoxLayout;

namespace vorn {

class A2Button;
class SheetTitleBar;
class ShareModel;
class ThemedLabel;
enum class Tone;

class Sheet : public QDialog {
    Q_OBJECT
public:
    /// `snapshotMode`: rendered off screen, never shown over a window.
    Sheet(ShareModel& model, bool snapshotMode, const QString& title, const QString& closeText,
          QWidget* parent);

    /// The title bar's button ("Done", "Close").
    A2Button* closeButton() const { return m_close; }

    /// Escape and the window manager's close, as the close button.
    void reject() override;

protected:
    ShareModel& model() const { return m_model; }
    bool snapshotMode() const { return m_snapshotMode; }
    /// Where the sheet's parts go, top to bottom, 12 pixels apart.
    QVBoxLayout* body() const { return m_body; }
    /// The sheet is never narrower or lower than this, nor than its content needs.
    void setLeastSize(int width, int height);
    /// Makes the sheet as high as its content at its present width.
    void fitHeight();
    /// The title bar's text (the window title stays).
    void setTitle(const QString& title);
    /// A text of the look; wrapped to the sheet's width when `wrap`.
    ThemedLabel* text(int size, Tone tone, const QString& shown, bool wrap = false,
                      bool bold = false);

    /// What the user's closing changes in the model (the sheet's flag, off).
    virtual void closeByUser() = 0;
    /// Closes the sheet when `open` is false; the subclass calls it when its flag changes.
    void followFlag(bool open);

    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    ShareModel& m_model;
    bool m_snapshotMode;
    SheetTitleBar* m_titleBar;
    A2Button* m_close;
    QVBoxLayout* m_body;
    QVBoxLayout* m_column;
    QHBoxLayout* m_bodyRow;
};

} // namespace vorn
