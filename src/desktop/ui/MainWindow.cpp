#include "MainWindow.h"

#include "A2Button.h"
#include "ContentView.h"
#include "LibraryPane.h"
#include "LibraryView.h"
#include "ShareCard.h"
#include "TitleRow.h"
#include "model/ShareModel.h"
#include "sheets/CategoriesSheet.h"
#include "sheets/ConversionHelpSheet.h"
#include "sheets/PicturePreviewSheet.h"
#include "sheets/VersionsSheet.h"

#include <QApplication>
#include <QMenuBar>

namespace vorn {

MainWindow::MainWindow(ShareModel& model, const AppInfo& info, QWidget* parent)
    : QMainWindow(parent), m_model(model), m_content(new ContentView(model, info, false, this)) {
    setWindowTitle("Vorn Image Manager");
    setCentralWidget(m_content);
    setMinimumSize(1160, 600);
    resize(1240, 800);
    // The window is the program: closing it ends the main loop, even with a sheet open.
    setAttribute(Qt::WA_QuitOnClose);
    buildMenus();
    connect(&model, &ShareModel::sheetsChanged, this, &MainWindow::showSheets);
    connect(&model.tools(), &ToolsModel::helpChanged, this, &MainWindow::showSheets);
    connect(&model.versions(), &VersionsModel::imageChanged, this, &MainWindow::showSheets);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("Choose Library Folder...", QKeySequence::Open, this,
                    [this] { m_model.chooseFolder(); });
    file->addSeparator();
    file->addAction("&Quit", QKeySequence::Quit, this, &QWidget::close);
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("Conversion Tools...", this, [this] {
        m_model.tools().probe();
        m_model.tools().setShowHelp(true);
    });
    help->addAction("Apple II Categories...", this, [this] { m_model.setShowCategories(true); });
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_offered) {
        m_offered = true;
        focusContent();
        m_model.tools().offerHelpIfNeeded();
        // Flags set before the window existed open their sheets now.
        showSheets();
    }
}

// The keyboard starts in what the window is about: the table, or without a library the
// button that chooses one. The table shows only once the first scan has filled it; until
// then the focus is on the window's first control, which the table then takes over.
void MainWindow::focusContent() {
    if (m_model.folderPath().empty()) {
        m_content->card()->chooseButton()->setFocus();
        return;
    }
    if (m_content->library()->showsTable()) {
        m_content->library()->view()->setFocus();
        return;
    }
    connect(
        &m_model.library(), &LibraryModel::contentsChanged, this,
        [this] {
            QWidget* focus = QApplication::focusWidget();
            if (focus == nullptr || focus == m_content->titleRow()->toolsButton()) {
                m_content->library()->view()->setFocus();
            }
        },
        Qt::SingleShotConnection);
}

namespace {

bool isOpen(const QPointer<QDialog>& sheet) {
    return sheet && sheet->isVisible();
}

void closeSheet(const QPointer<QDialog>& sheet) {
    if (isOpen(sheet)) {
        sheet->reject();
    }
}

} // namespace

void MainWindow::showSheets() {
    if (m_model.showCategories() != isOpen(m_categories)) {
        m_model.showCategories()
            ? openSheet(m_categories, new CategoriesSheet(m_model, m_model.library(), false, this),
                        &MainWindow::categoriesClosed)
            : closeSheet(m_categories);
    }
    if (m_model.tools().showHelp() != isOpen(m_help)) {
        m_model.tools().showHelp()
            ? openSheet(m_help, new ConversionHelpSheet(m_model, m_model.tools(), false, this),
                        &MainWindow::helpClosed)
            : closeSheet(m_help);
    }
    if (m_model.previewPic().has_value() != isOpen(m_preview)) {
        m_model.previewPic() ? openSheet(m_preview, new PicturePreviewSheet(m_model, false, this),
                                         &MainWindow::previewClosed)
                             : closeSheet(m_preview);
    }
    if (m_model.versions().image().has_value() != isOpen(m_versions)) {
        m_model.versions().image()
            ? openSheet(m_versions, new VersionsSheet(m_model, m_model.versions(), false, this),
                        &MainWindow::versionsClosed)
            : closeSheet(m_versions);
    }
}

// A sheet blocks its window, not the program, and goes away when closed; closing it by
// any means (its own buttons, Escape, the window manager) clears the model's flag.
void MainWindow::openSheet(QPointer<QDialog>& slot, QDialog* sheet, void (MainWindow::*closed)()) {
    slot = sheet;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this, closed);
    sheet->open();
}

void MainWindow::categoriesClosed() {
    m_model.setShowCategories(false);
}

void MainWindow::helpClosed() {
    m_model.tools().setShowHelp(false);
}

void MainWindow::previewClosed() {
    m_model.setPreviewPic(std::nullopt);
}

void MainWindow::versionsClosed() {
    m_model.versions().setImage(std::nullopt);
}

} // namespace vorn
