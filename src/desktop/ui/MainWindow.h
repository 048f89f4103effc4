#pragma once
// The program's one window: the content view, the menus, and the sheets that the model's
// flags open over it (window-modal dialogs, as sheets are). Closing it quits.

#include "AppInfo.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>

namespace vorn {

class ContentView;
class ShareModel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ShareModel& model, const AppInfo& info, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentView* content() const { return m_content; }
    /// The sheets now open; none when closed.
    QDialog* categoriesSheet() const { return m_categories; }
    QDialog* conversionHelpSheet() const { return m_help; }
    QDialog* previewSheet() const { return m_preview; }
    QDialog* versionsSheet() const { return m_versions; }

    /// Opens the sheets whose flags the model sets and closes those it clears.
    void showSheets();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void focusContent();
    void openSheet(QPointer<QDialog>& slot, QDialog* sheet, void (MainWindow::*closed)());
    void categoriesClosed();
    void helpClosed();
    void previewClosed();
    void versionsClosed();

    ShareModel& m_model;
    ContentView* m_content;
    QPointer<QDialog> m_categories;
    QPointer<QDialog> m_help;
    QPointer<QDialog> m_preview;
    QPointer<QDialog> m_versions;
    bool m_offered = false;
};

} // namespace vorn
