#pragma once
// The program's one window: the content view, the menus, and the sheets that the model's
// flags open over it (window-modal dialogs, as sheets are). Closing it quits.

#include "AppInfo.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>

namespace vorn {

class CategoriesSheet;
class ContentView;
class ConversionHelpSheet;
class PicturePreviewSheet;
class ShareModel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ShareModel& model, const AppInfo& info, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentView* content() const { return m_content; }
    /// The sheets now open; none when closed.
    CategoriesSheet* categoriesSheet() const;
    ConversionHelpSheet* conversionHelpSheet() const;
    PicturePreviewSheet* previewSheet() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void showSheets();

    ShareModel& m_model;
    ContentView* m_content;
    QPointer<QDialog> m_categories;
    QPointer<QDialog> m_help;
    QPointer<QDialog> m_preview;
    bool m_offered = false;
};

} // namespace vorn
