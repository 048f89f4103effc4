#include "LibraryView.h"

#include "LibraryHeader.h"
#include "LookStyle.h"
#include "RowDelegate.h"
#include "model/LibraryTableModel.h"
#include "model/ShareModel.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QResizeEvent>

namespace vorn {

LibraryView::LibraryView(ShareModel& model, LibraryModel& library, VersionsModel& versions,
                         Look& look, QWidget* parent)
    : QTableView(parent), m_model(model), m_library(library), m_versions(versions), m_look(look),
      m_header(new LibraryHeader(library, look, this)), m_delegate(new RowDelegate(model, this)) {
    setModel(&library.tableModel());
    setHorizontalHeader(m_header);
    // The view fits a column to its delegate's size hint on a double click on its edge;
    // here the model fits it, to its content.
    disconnect(m_header, SIGNAL(sectionHandleDoubleClicked(int)), this,
               SLOT(resizeColumnToContents(int)));
    setItemDelegate(m_delegate);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(22);
    setShowGrid(false);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setAccessibleName("Library");
    connect(this, &QAbstractItemView::clicked, this, &LibraryView::clickedAt);
    connect(&library, &LibraryModel::columnsChanged, this, &LibraryView::applyColumns);
    connect(&library, &LibraryModel::contentsChanged, this, &LibraryView::applyColumns);
    connect(&library.tableModel(), &QAbstractItemModel::modelReset, this,
            &LibraryView::applyColumns);
    connect(&look, &Look::changed, this, &LibraryView::restyle);
    connect(&model, &ShareModel::activityChanged, viewport(), qOverload<>(&QWidget::update));
    restyle();
    applyColumns();
}

void LibraryView::restyle() {
    QPalette p = LookStyle::palette(m_look.theme());
    // The header's empty end and the corner are the panel's, not the window's.
    for (auto role : {QPalette::Base, QPalette::Window, QPalette::Button}) {
        p.setColor(role, m_look.theme().panel);
    }
    setPalette(p);
    m_header->setPalette(p);
    viewport()->update();
    m_header->viewport()->update();
}

void LibraryView::applyColumns() {
    m_header->applyColumns();
}

void LibraryView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    m_library.setTableWidth(viewport()->width());
}

void LibraryView::clickedAt(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    if (const StillPic* picture = m_library.tableModel().tableRow(index.row()).picture()) {
        m_model.setPreviewPic(*picture);
    }
}

void LibraryView::keyPressEvent(QKeyEvent* event) {
    // Space opens a picture's preview, as a click does (Return belongs to the start button).
    if (event->key() == Qt::Key_Space && currentIndex().isValid()) {
        clickedAt(currentIndex());
        return;
    }
    QTableView::keyPressEvent(event);
}

void LibraryView::fillMenu(QMenu& menu, const TableRow& row) {
    const auto file = ShareModel::fileOf(row);
    if (!file) {
        return;
    }
    menu.addAction("Show in File Manager", this, [this, path = *file] { m_model.reveal(path); });
    if (const DiskImage* image = row.image()) {
        // A copy under way names itself here (the status line says it too); the next
        // waits until it is done.
        const bool copying = m_model.work().busy(ModelWorker::Job::copy);
        menu.addAction(copying ? "Copying..." : "Snapshot (copy with today's date)", this,
                       [this, copy = *image] { m_model.snapshot(copy); })
            ->setEnabled(!copying);
        menu.addAction("Versions...", this, [this, shown = *image] { m_versions.setImage(shown); });
    }
    if (const StillPic* picture = row.picture()) {
        menu.addAction("Preview SHR", this,
                       [this, shown = *picture] { m_model.setPreviewPic(shown); });
    }
}

void LibraryView::contextMenuEvent(QContextMenuEvent* event) {
    QModelIndex index = indexAt(event->pos());
    if (event->reason() == QContextMenuEvent::Keyboard) {
        index = currentIndex();
    }
    if (!index.isValid()) {
        return;
    }
    QMenu menu(this);
    fillMenu(menu, m_library.tableModel().tableRow(index.row()));
    if (!menu.isEmpty()) {
        menu.exec(event->globalPos());
    }
}

} // namespace vorn
