#include "LibraryModel.h"

#include "LibraryScanner.h"
#include "LibraryTableModel.h"
#include "library/CategoryEdits.h"

#include <QCoreApplication>
#include <QPointer>
#include <utility>

namespace vorn {

LibraryModel::LibraryModel(Preferences& preferences, Converters converters, QObject* parent)
    : QObject(parent), m_hub(preferences), m_scanner(new LibraryScanner(converters, this)),
      m_tableModel(new LibraryTableModel(m_table, this)) {
    m_table.setContents(std::make_shared<const LibraryContents>());
    m_tableModel->refresh();
    m_scanner->setOnConverted(conversionEnded());
    connect(m_scanner, &LibraryScanner::scanned, this, &LibraryModel::takeScan);
}

LibraryModel::~LibraryModel() {
    // The children use the members: they go first, not after the members as Qt would.
    delete m_scanner;
    delete m_tableModel;
}

void LibraryModel::setFolder(const std::string& folder) {
    m_folder = folder;
    setSelectedFolder(std::nullopt);
    // Each library keeps its own categories: edits from now on belong to this one.
    loadHub();
}

void LibraryModel::setLook(UITheme look) {
    m_table.setLook(look);
    m_scanner->setLook(look);
    autoLayoutColumns();
    m_tableModel->refresh(); // the header titles change case
}

void LibraryModel::setActivityFunction(std::function<Activity(const TableRow&)> activity) {
    m_tableModel->setActivityFunction(std::move(activity));
}

std::optional<std::filesystem::path> LibraryModel::folderPath() const {
    if (m_folder.empty()) {
        return std::nullopt;
    }
    return std::filesystem::path(m_folder);
}

// ---- Scans ----

void LibraryModel::rescan() {
    requestScan(true);
}

void LibraryModel::requestScan(bool kick) {
    m_scanner->request(m_folder, m_writable, kick, m_serving);
}

bool LibraryModel::scanning() const {
    return m_scanner->busy();
}

void LibraryModel::dispose(std::shared_ptr<const void> old) {
    m_scanner->dispose(std::move(old));
}

// A conversion that ended changes the lists but not what is left to convert: the jobs
// still queued cover it, and queueing every pending file again after each conversion
// would grow the transcoders' queues with the square of the number of files. The
// transcoders may finish after the model is gone, so the hop goes through the
// application object and looks at the model only once there.
std::function<void()> LibraryModel::conversionEnded() {
    return [model = QPointer<LibraryModel>(this)] {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [model] {
                    if (model) {
                        model->requestScan(false);
                    }
                },
                Qt::QueuedConnection);
        }
    };
}

void LibraryModel::takeScan(std::shared_ptr<const LibraryContents> contents,
                            std::shared_ptr<const TableIndex> index,
                            std::shared_ptr<const LibraryScan> shareScan) {
    const std::optional<std::string> selected = m_table.selectedFolder();
    const std::set<std::string> collapsedBefore = m_tree.collapsed();
    auto shown = std::make_shared<
        std::pair<std::shared_ptr<const LibraryContents>, std::shared_ptr<const TableIndex>>>(
        m_table.contents(), m_table.index());
    m_table.setContents(contents, std::move(index));
    m_tree.setFolders(contents->folders());
    const bool relaid = m_table.autoLayoutColumns();
    m_tableModel->refresh();
    // Neither the table nor its item model holds the lists shown until now: the last
    // hold goes to the scanner's worker, which frees them.
    m_scanner->dispose(std::move(shown));
    if (shareScan) {
        emit shareScanned(std::move(shareScan));
    }
    // Told once everything is in place, so that no view sees new rows with old widths.
    emit contentsChanged();
    if (m_table.selectedFolder() != selected) {
        emit tableChanged();
    }
    if (m_tree.collapsed() != collapsedBefore) {
        emit treeChanged();
    }
    if (!m_hub.hubOverride()) {
        emit hubChanged(); // the defaults follow the folders
    }
    columnsMayHaveChanged(relaid);
}

// ---- The table ----

void LibraryModel::rowsChanged() {
    m_tableModel->refresh();
    emit tableChanged();
}

void LibraryModel::columnsMayHaveChanged(bool changed) {
    if (changed) {
        emit columnsChanged();
    }
}

void LibraryModel::setSort(SortKey key) {
    m_table.setSort(key);
    rowsChanged();
}

void LibraryModel::setKindFilter(KindFilter filter) {
    if (filter != m_table.kindFilter()) {
        m_table.setKindFilter(filter);
        autoLayoutColumns();
        rowsChanged();
    }
}

void LibraryModel::setSelectedFolder(std::optional<std::string> folder) {
    if (folder != m_table.selectedFolder()) {
        m_table.setSelectedFolder(std::move(folder));
        autoLayoutColumns();
        rowsChanged();
    }
}

void LibraryModel::setTableWidth(double width) {
    columnsMayHaveChanged(m_table.setTableWidth(width));
}

void LibraryModel::fitAllColumns() {
    columnsMayHaveChanged(m_table.fitAllColumns());
}

void LibraryModel::autoLayoutColumns() {
    columnsMayHaveChanged(m_table.autoLayoutColumns());
}

void LibraryModel::setColumnWidth(TableColumn column, double width) {
    columnsMayHaveChanged(m_table.setColumnWidth(column, width));
}

void LibraryModel::fitColumn(TableColumn column) {
    columnsMayHaveChanged(m_table.fitColumn(column));
}

void LibraryModel::redrawLights() {
    m_tableModel->refreshActivity();
}

// ---- The folder tree ----

void LibraryModel::toggleCollapsed(const std::string& path) {
    m_tree.toggleCollapsed(path);
    emit treeChanged();
}

void LibraryModel::setCollapsed(bool on, const std::optional<std::string>& below) {
    const std::set<std::string> before = m_tree.collapsed();
    m_tree.setCollapsed(on, below);
    if (m_tree.collapsed() != before) {
        emit treeChanged();
    }
}

// ---- Categories ----

void LibraryModel::loadHub() {
    m_hub.load(m_folder);
    hubEdited(LibraryHub::Outcome::stored);
}

// A failed edit still shows: the categories known now are the stored ones, which another
// program may have changed meanwhile.
void LibraryModel::hubEdited(LibraryHub::Outcome outcome) {
    if (outcome == LibraryHub::Outcome::declined) {
        return;
    }
    if (outcome != LibraryHub::Outcome::stored) {
        emit notStored();
    }
    emit hubChanged();
    emit categoriesEdited();
}

void LibraryModel::setHubOverride(std::optional<HubConfig> hub) {
    hubEdited(m_hub.setOverride(std::move(hub)));
}

std::vector<std::string> LibraryModel::hubCandidates() const {
    return CategoryEdits::hubCandidates(hub(), folders());
}

void LibraryModel::toggleCategory(const std::string& path) {
    hubEdited(m_hub.toggleCategory(path, folders()));
}

void LibraryModel::moveCategories(const std::set<std::size_t>& offsets, std::size_t destination) {
    hubEdited(m_hub.moveCategories(offsets, destination, folders()));
}

void LibraryModel::setCategoryLabel(const std::string& path, const std::string& label) {
    hubEdited(m_hub.setCategoryLabel(path, label, folders()));
}

void LibraryModel::setPrefixSubfolder(bool on) {
    hubEdited(m_hub.setPrefixSubfolder(on, folders()));
}

std::int64_t LibraryModel::hubCount(const std::string& path, KindFilter kind) const {
    return contents().count(path, kind);
}

} // namespace vorn
