#pragma once
// The library as the window lists it: the newest scan, the table with its sort, filter
// and columns (and the Qt item model over it), the sidebar's folder tree and the card's
// categories. The library table, the sidebar and the categories sheet read it and call
// it; rescans run on its scanner's worker.

#include "Activity.h"
#include "ColumnLayout.h"
#include "FolderTree.h"
#include "LibraryContents.h"
#include "LibraryTable.h"
#include "TableColumn.h"
#include "TableKeys.h"
#include "TableRow.h"
#include "UITheme.h"
#include "library/HubConfig.h"
#include "library/LibraryHub.h"
#include "scan/Converters.h"

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class LibraryScanner;
class LibraryTableModel;
class Preferences;
struct LibraryScan;

/// Lives on the GUI thread; every operation is called there.
class LibraryModel : public QObject {
    Q_OBJECT
public:
    /// Scans with `converters`; `preferences` holds the categories. Both must outlive it.
    LibraryModel(Preferences& preferences, Converters converters, QObject* parent = nullptr);
    ~LibraryModel() override;

    // What is scanned, as the owner's settings say.
    /// Takes `folder` (absolute; empty for none) as the library, drops the sidebar's
    /// selection and loads the folder's categories; the caller rescans.
    void setFolder(const std::string& folder);
    /// The library folder (absolute); empty for none.
    const std::string& folder() const { return m_folder; }
    /// The same as a path, when there is a library.
    std::optional<std::filesystem::path> folderPath() const;
    void setWritable(bool writable) { m_writable = writable; }
    /// A share runs or starts: every scan comes back for it too (shareScanned).
    void setServing(bool serving) { m_serving = serving; }
    /// Also lays the columns out again (the looks' fonts differ).
    void setLook(UITheme look);
    /// What a row's light shows.
    void setActivityFunction(std::function<Activity(const TableRow&)> activity);

    // Scans. The newest request wins, and its result replaces the lists whole.
    /// Scans the library again (empties the lists without one).
    void rescan();
    /// A rescan is running or waiting.
    bool scanning() const;
    /// Runs on any thread when a conversion ended: asks, on the GUI thread, for the rescan
    /// that lists it (nothing once this model is gone).
    std::function<void()> conversionEnded();
    /// Lets `old` go on the scanner's worker (see LibraryScanner::dispose).
    void dispose(std::shared_ptr<const void> old);

    const LibraryContents& contents() const { return *m_table.contents(); }
    /// Every folder holding an item, with its ancestors.
    const std::vector<std::string>& folders() const { return contents().folders(); }

    // The table.
    /// The table as a Qt item model, for the window's view; refreshed by this model.
    LibraryTableModel& tableModel() { return *m_tableModel; }
    const LibraryTable& table() const { return m_table; }
    /// A header click: a new key sorts ascending, the current key flips the direction.
    void setSort(SortKey key);
    void setKindFilter(KindFilter filter);
    /// The sidebar's folder; absent for the whole library.
    void setSelectedFolder(std::optional<std::string> folder);
    /// The width the window has for the table; more than half a pixel of change re-lays.
    void setTableWidth(double width);
    /// "Fit All Columns": forgets the user's widths and lays the columns out again.
    void fitAllColumns();
    void autoLayoutColumns();
    void setColumnWidth(TableColumn column, double width);
    void fitColumn(TableColumn column);
    /// The lights changed: the table redraws them.
    void redrawLights();

    // The sidebar's folder tree.
    const FolderTree& tree() const { return m_tree; }
    void toggleCollapsed(const std::string& path);
    void setCollapsed(bool on, const std::optional<std::string>& below = std::nullopt);

    // The card's categories, stored per library folder.
    /// The user's categories; absent when the library uses the defaults.
    const std::optional<HubConfig>& hubOverride() const { return m_hub.hubOverride(); }
    /// "Reset to Defaults" when absent.
    void setHubOverride(std::optional<HubConfig> hub);
    /// The categories in force.
    HubConfig hub() const { return m_hub.hub(folders()); }
    /// The folders that are not categories yet.
    std::vector<std::string> hubCandidates() const;
    void toggleCategory(const std::string& path);
    void moveCategories(const std::set<std::size_t>& offsets, std::size_t destination);
    void setCategoryLabel(const std::string& path, const std::string& label);
    void setPrefixSubfolder(bool on);
    /// How many items of a kind a category for `path` lists.
    std::int64_t hubCount(const std::string& path, KindFilter kind) const;

signals:
    /// A rescan arrived: the lists and folders were replaced.
    void contentsChanged();
    /// The scan just listed, for a share that serves it (before contentsChanged).
    void shareScanned(std::shared_ptr<const vorn::LibraryScan> scan);
    /// Sort, filter or selected folder: the listed rows changed.
    void tableChanged();
    /// The columns' widths.
    void columnsChanged();
    /// The folder tree's collapsed folders.
    void treeChanged();
    /// The categories, or the default categories after a rescan.
    void hubChanged();
    /// The user changed the categories: a running share takes hubOverride().
    void categoriesEdited();
    /// A change could not be stored in the preferences.
    void notStored();

private:
    void requestScan(bool kick);
    void takeScan(std::shared_ptr<const LibraryContents> contents,
                  std::shared_ptr<const TableIndex> index,
                  std::shared_ptr<const LibraryScan> shareScan);
    void rowsChanged();
    void columnsMayHaveChanged(bool changed);
    void loadHub();
    void hubEdited(LibraryHub::Outcome outcome);

    std::string m_folder;
    bool m_writable = true;
    bool m_serving = false;
    LibraryTable m_table;
    FolderTree m_tree;
    LibraryHub m_hub;
    LibraryScanner* m_scanner;       // a child of this object
    LibraryTableModel* m_tableModel; // a child of this object
};

} // namespace vorn
