#include "MainWindow.h"

#include "ContentView.h"
#include "model/ShareModel.h"

#include <QApplication>
#include <QMenuBar>

namespace vorn {

MainWindow::MainWindow(ShareModel& model, const AppInfo& info, QWidget* parent)
    : QMainWindow(parent), m_model(model), m_content(new ContentView(model, info, false, this)) {
    setWindowTitle("Vorn Image Manager");
    setCentralWidget(m_content);
    setMinimumSize(1160, 600);
    resize(1240, 800);
    buildMenus();
    connect(&model, &ShareModel::sheetsChanged, this, &MainWindow::showSheets);
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
        m_model.probeConversionTools();
        m_model.setShowConversionHelp(true);
    });
    help->addAction("Apple II Categories...", this, [this] { m_model.setShowCategories(true); });
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_offered) {
        m_offered = true;
        m_model.offerConversionHelpIfNeeded();
    }
}

void MainWindow::showSheets() {}

} // namespace vorn
