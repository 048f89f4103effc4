#pragma once
// Everything the desktop window shows and does, without the window: the settings, the
// last scan of the library, the running share and what it reports, the activity lights,
// the conversion tools, the clipboard labels and the dated copies, with the library
// table, the folder tree and the categories. Views read it, call its operations and
// redraw on its signals; none of them talks to the server or the catalogs.

#include "Activity.h"
#include "ColumnLayout.h"
#include "FolderTree.h"
#include "LibraryContents.h"
#include "LibraryTable.h"
#include "ModelWorker.h"
#include "TableColumn.h"
#include "TableKeys.h"
#include "TableRow.h"
#include "Theme.h"
#include "UITheme.h"
#include "convert/ConversionTools.h"
#include "library/HubConfig.h"
#include "library/LibraryHub.h"
#include "platform/Date.h"
#include "server/ShareStatus.h"
#include "versions/VersionRestore.h"
#include "versions/VersionStore.h"

#include <QObject>
#include <QTimer>
#include <chrono>
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

class AudioTranscoder;
class FileRevealer;
class FolderChooser;
class LibraryScanner;
class LibraryTableModel;
class ModelWorker;
class PictureTranscoder;
class Preferences;
class RunningShare;
class ShareServer;
struct LibraryScan;

/// One instance for the life of the program, on the GUI thread; every operation is called
/// there. Work started elsewhere (the server's status, the folder watcher, finished
/// conversions, rescans) comes back to the GUI thread before it touches the model, and
/// does nothing once the model is gone.
class ShareModel : public QObject {
    Q_OBJECT
public:
    /// The log lines shown: the newest of the server's.
    static constexpr std::size_t shownLogLines = 60;
    /// How long a light stays lit after a read or write.
    static constexpr std::chrono::seconds lightTime{2};
    /// How long "Copied" labels last, in milliseconds.
    static constexpr int copiedLabelMs = 1200;
    /// Preference: the user closed the conversion help; it no longer opens by itself.
    static constexpr std::string_view conversionHelpDismissedKey = "vxm.conversionHelpDismissed";

    /// Reads the settings from `preferences` (the process's one store), looks for the
    /// conversion tools, loads the library's categories and, with a library, starts a
    /// rescan. Sharing does not start by itself. All three must outlive the model.
    ShareModel(Preferences& preferences, AudioTranscoder& audioTranscoder,
               PictureTranscoder& pictureTranscoder, QObject* parent = nullptr);
    /// Stops sharing.
    ~ShareModel() override;

    // Platform services the window provides; without them the operations do nothing.
    void setFolderChooser(std::unique_ptr<FolderChooser> chooser);
    void setFileRevealer(std::unique_ptr<FileRevealer> revealer);
    /// The source of the current time (tests replace it).
    void setClock(std::function<Date()> clock);

    // Settings, stored in the preferences when changed.
    /// Absolute path of the library folder; empty when none is chosen.
    const std::string& folderPath() const { return m_folderPath; }
    /// The library folder, when there is one.
    std::optional<std::filesystem::path> libraryFolder() const;
    /// Takes `path` as the library (stored absolute and normalised, as vorn-share reads
    /// it), drops the sidebar's selection and loads the folder's categories; the caller
    /// rescans.
    void setFolderPath(const std::string& path);
    bool writable() const { return m_writable; }
    /// Also tells a running server at once, then rescans.
    void setWritable(bool on);
    bool advertise() const { return m_advertise; }
    /// Takes effect at the next start.
    void setAdvertise(bool on);
    std::uint16_t port() const { return m_port; }
    /// Takes effect at the next start.
    void setPort(std::uint16_t port);
    UITheme uiTheme() const { return m_table.look(); }
    /// Also lays the columns out again (the looks' fonts differ).
    void setUITheme(UITheme look);
    const Theme& theme() const { return Theme::of(uiTheme()); }
    /// The sidebar's width in the window (default 200).
    double sidebarWidth() const;
    void setSidebarWidth(double width);

    // Derived values.
    /// What the card is told to use: "http://" + the LAN address + ":" + port + "/", with
    /// the port a running share listens on (a port set meanwhile waits for the next start).
    std::string shareURL() const;
    /// "Vorn Images on " + the computer's name.
    static std::string shareName();

    // Sharing.
    /// The server reports that it is running.
    bool sharing() const { return m_sharing; }
    /// A start waits for its scan of the library.
    bool starting() const { return m_starting; }
    /// Stops any running share, scans the library and shares that scan on `port`; a port
    /// that cannot be listened on shows in lastError(). Nothing without a library.
    void start();
    void stop();
    /// Asks the folder chooser for a library; a confirmed choice goes to openFolder().
    void chooseFolder();
    /// Makes `path` the library: stops a running share, loads the folder's categories,
    /// rescans, and shares the new folder if the old one was shared.
    void openFolder(const std::string& path);
    std::uint64_t requests() const { return m_requests; }
    std::uint64_t bytesServed() const { return m_bytesServed; }
    /// The newest log lines of the server, oldest first, at most shownLogLines.
    const std::vector<std::string>& logLines() const { return m_logLines; }
    /// The notice of the person's own last action when there is one, else the share's
    /// error: kept apart, so that neither wipes the other.
    std::optional<std::string> lastError() const { return m_notice ? m_notice : m_serverError; }

    // Activity lights.
    /// When the card last read each item: an image's relPath, "audio/" or "pictures/" +
    /// the item's file name.
    const ItemDates& lastRead() const { return m_lastRead; }
    /// When the card last wrote each image, by relPath.
    const ItemDates& lastWrite() const { return m_lastWrite; }
    /// The time the lights are shown for.
    Date now() const { return m_now; }
    void setNow(Date now);
    /// Write within lightTime before now(), else read within it, else none.
    Activity activityForDisk(const std::string& relPath) const;
    /// Read within lightTime before now() (audio is never written).
    Activity activityForAudio(const std::string& fileName) const;
    Activity activityForPicture(const std::string& fileName) const;
    /// The light of a table row; none for items still converting.
    Activity activity(const TableRow& row) const;
    /// The once-a-second tick while sharing: moves now() to the current time only while a
    /// read or write of the last 3 seconds may still light a row, so an idle share
    /// redraws nothing.
    void tick();

    // The library's last scan. Scans run on a worker thread; the newest request wins,
    // and its result replaces the lists whole.
    /// Scans the library again (empties the lists without one).
    void rescan();
    /// A rescan is running or waiting.
    bool scanning() const;
    /// A scan, a start or work of the model's worker is under way.
    bool working() const;
    /// What the model's worker is doing.
    const ModelWorker& work() const { return *m_worker; }
    const LibraryContents& contents() const { return *m_table.contents(); }
    const std::vector<DiskImage>& images() const { return contents().images; }
    std::int64_t rejected() const { return contents().rejected; }
    const std::vector<AudioTrack>& tracks() const { return contents().tracks(); }
    const std::vector<std::string>& pendingAudio() const { return contents().pendingAudio(); }
    std::int64_t audioNeedsFFmpeg() const { return contents().audioNeedsFFmpeg(); }
    const std::vector<StillPic>& pictures() const { return contents().pictures(); }
    const std::vector<std::string>& pendingPics() const { return contents().pendingPics(); }
    std::int64_t picsNeedConverter() const { return contents().picsNeedConverter(); }
    /// Every folder holding an item, with its ancestors.
    const std::vector<std::string>& folders() const { return contents().folders; }

    // The library table.
    /// The table as a Qt item model, for the window's view; refreshed by the model.
    LibraryTableModel& tableModel() { return *m_tableModel; }
    const LibraryTable& table() const { return m_table; }
    SortKey sortKey() const { return m_table.sortKey(); }
    bool sortAscending() const { return m_table.sortAscending(); }
    /// A header click: a new key sorts ascending, the current key flips the direction.
    void setSort(SortKey key);
    KindFilter kindFilter() const { return m_table.kindFilter(); }
    void setKindFilter(KindFilter filter);
    /// The sidebar's folder; absent for the whole library.
    const std::optional<std::string>& selectedFolder() const { return m_table.selectedFolder(); }
    void setSelectedFolder(std::optional<std::string> folder);
    std::vector<TableRow> sortedRows() const { return m_table.sortedRows(); }
    std::int64_t count(KindFilter kind) const { return m_table.count(kind); }
    std::int64_t count(const std::string& folder) const { return m_table.count(folder); }
    std::int64_t bootableCount() const { return m_table.bootableCount(); }
    std::int64_t libraryCount() const { return m_table.libraryCount(); }
    static std::optional<std::string> cellText(const TableRow& row, TableColumn column) {
        return LibraryTable::cellText(row, column);
    }
    std::string headerTitle(TableColumn column) const { return m_table.headerTitle(column); }
    const ColumnLayout& cols() const { return m_table.cols(); }
    const std::set<TableColumn>& userCols() const { return m_table.userCols(); }
    double tableWidth() const { return m_table.tableWidth(); }
    /// The width the window has for the table; more than half a pixel of change re-lays.
    void setTableWidth(double width);
    /// "Fit All Columns": forgets the user's widths and lays the columns out again.
    void fitAllColumns();
    void autoLayoutColumns();
    double fitWidth(TableColumn column, std::optional<double> cap = std::nullopt) const {
        return m_table.fitWidth(column, cap);
    }
    void setColumnWidth(TableColumn column, double width);
    void fitColumn(TableColumn column);
    double textWidth(std::string_view text, int size, bool bold = false) const {
        return m_table.textWidth(text, size, bold);
    }

    // The sidebar's folder tree.
    const std::set<std::string>& collapsed() const { return m_tree.collapsed(); }
    bool hasChildren(const std::string& path) const { return m_tree.hasChildren(path); }
    bool isVisible(const std::string& path) const { return m_tree.isVisible(path); }
    std::vector<std::string> visibleFolders() const { return m_tree.visibleFolders(); }
    bool allCollapsed() const { return m_tree.allCollapsed(); }
    void toggleCollapsed(const std::string& path);
    void setCollapsed(bool on, const std::optional<std::string>& below = std::nullopt);

    // The card's categories, stored per library folder and handed to a running server
    // after every change.
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

    // Sheets.
    bool showCategories() const { return m_showCategories; }
    void setShowCategories(bool on);
    bool showConversionHelp() const { return m_showConversionHelp; }
    void setShowConversionHelp(bool on);
    /// "Done" in the conversion help: closes it and no longer opens it by itself.
    void dismissConversionHelp();
    /// The image whose versions sheet is open.
    const std::optional<DiskImage>& versionsImage() const { return m_versionsImage; }
    void setVersionsImage(std::optional<DiskImage> image);
    /// The picture shown in the preview sheet.
    const std::optional<StillPic>& previewPic() const { return m_previewPic; }
    void setPreviewPic(std::optional<StillPic> picture);

    // Conversion tools.
    const ConversionTools::Status& conversion() const { return m_conversion; }
    /// Lets the transcoders look for their tools again, on the worker, and takes what they
    /// found.
    void probeConversionTools();
    /// The same, forgetting every failed conversion, then a rescan, so that files waiting
    /// for a tool, and those that failed, are converted.
    void recheckConversionTools();
    /// Opens the conversion help when a tool is missing and the user has not closed the
    /// help before (once the tools are known, when they are being looked for).
    void offerConversionHelpIfNeeded();

    // Clipboard.
    /// Puts shareURL() on the clipboard; copiedPulse() reads true for a moment.
    void copyURL();
    bool copiedPulse() const { return m_copiedPulse; }
    /// Puts `command` on the clipboard; copiedCommand() names it for a moment.
    void copyCommand(const std::string& command);
    const std::string& copiedCommand() const { return m_copiedCommand; }

    // Files.
    /// Copies the image beside itself with the date and time in its name ("Game
    /// 2026-12-04 1730.po"), on the worker; snapshotEnded() tells the copy's path, or
    /// nothing with the reason in lastError().
    void snapshot(const DiskImage& image);
    /// Stores the picture's knobs and converts it again with them.
    void reconvert(const StillPic& picture, const StillPic::Knobs& knobs);
    // Versions of the images the card writes.
    /// Lists the versions kept of `image` on the worker; versionsChanged() when they are in.
    void listVersions(const DiskImage& image);
    /// The versions of the image listed last, newest first.
    const std::vector<Version>& versions() const { return m_versions; }
    /// The relPath of the image listed last.
    const std::string& versionsOf() const { return m_versionsOf; }
    /// Writes `image` as it was at version `id` into a new file beside it, named after
    /// the version, on the worker; restoreEnded() tells how it went.
    void restoreAsCopy(const DiskImage& image, const std::string& id);
    /// Brings `image` back to version `id` in place, itself kept as a version first (so
    /// it can be undone), on the worker; restoreEnded() tells how it went, and the
    /// versions are listed again.
    void restoreInPlace(const DiskImage& image, const std::string& id);
    /// The library file a row stands for; absent for items still converting.
    static std::optional<std::filesystem::path> fileOf(const TableRow& row);
    /// "Show in File Manager".
    void reveal(const std::filesystem::path& file);

signals:
    /// folderPath.
    void folderChanged();
    /// writable, advertise, port.
    void settingsChanged();
    /// uiTheme.
    void lookChanged();
    /// sharing.
    void sharingChanged();
    /// requests, bytesServed.
    void trafficChanged();
    /// logLines.
    void logChanged();
    /// lastError.
    void lastErrorChanged();
    /// lastRead, lastWrite, now: only the lights need redrawing.
    void activityChanged();
    /// A rescan arrived: the lists and folders were replaced.
    void contentsChanged();
    /// sortKey, sortAscending, kindFilter, selectedFolder: the listed rows changed.
    void tableChanged();
    /// cols.
    void columnsChanged();
    /// collapsed.
    void treeChanged();
    /// hubOverride, or the default categories after a rescan.
    void hubChanged();
    /// showCategories, showConversionHelp, previewPic.
    void sheetsChanged();
    /// conversion.
    void conversionChanged();
    /// copiedPulse, copiedCommand.
    void copiedChanged();
    /// starting, or what the worker is doing.
    void workChanged();
    /// A snapshot ended: the copy, or nothing (lastError says why).
    void snapshotEnded(std::optional<std::filesystem::path> copy);
    /// A restore ended: whether it worked, and what to tell the user.
    void restoreEnded(bool restored, const std::string& message);
    /// versions, versionsOf.
    void versionsChanged();

private:
    void readPreferences();
    bool restored(const VersionRestore::Outcome& outcome);
    std::shared_ptr<ShareServer> server() const;
    void takeScan(std::shared_ptr<const LibraryContents> contents,
                  std::shared_ptr<const TableIndex> index, std::shared_ptr<LibraryScan> shareScan);
    void launch(LibraryScan scan);
    void requestScan(bool kick);
    void probeTools(bool retryFailed, bool thenRescan);
    void takeStatus(const ShareStatus& status);
    void takeVersionsChanged(const ItemDates& changed);
    void setSharing(bool on);
    void setLastError(std::optional<std::string> notice);
    void setErrors(std::optional<std::string> notice, std::optional<std::string> serverError);
    void noteStored(bool stored);
    void setActivity(ItemDates lastRead, ItemDates lastWrite);
    bool mayBeLit(Date cutoff) const;
    void redrawLights();
    void rowsChanged();
    void columnsMayHaveChanged(bool changed);
    void loadHub();
    void hubEdited(LibraryHub::Outcome outcome);
    void listConversions();
    std::function<void()> listConversionsOnGuiThread();

    Preferences& m_preferences;
    Converters converters() const { return {m_audioTranscoder, m_pictureTranscoder}; }

    AudioTranscoder& m_audioTranscoder;
    PictureTranscoder& m_pictureTranscoder;
    std::function<Date()> m_clock;
    std::unique_ptr<FolderChooser> m_chooser;
    std::unique_ptr<FileRevealer> m_revealer;

    std::string m_folderPath;
    bool m_writable = true;
    bool m_advertise = true;
    std::uint16_t m_port = 8271;

    LibraryTable m_table;
    FolderTree m_tree;
    LibraryHub m_hub;
    LibraryScanner* m_scanner;       // a child of this object
    LibraryTableModel* m_tableModel; // a child of this object
    ModelWorker* m_worker;           // a child of this object

    bool m_sharing = false;
    bool m_starting = false;
    bool m_offerHelpWhenProbed = false;
    std::vector<Version> m_versions;
    ItemDates m_versionsChanged;
    std::string m_versionsOf;
    std::uint64_t m_requests = 0;
    std::uint64_t m_bytesServed = 0;
    std::vector<std::string> m_logLines;
    std::uint64_t m_logAppended = 0;
    std::optional<std::string> m_notice;      // of the person's own action
    std::optional<std::string> m_serverError; // the share's, from its status
    ItemDates m_lastRead;
    ItemDates m_lastWrite;
    Date m_now;
    QTimer m_tick;

    bool m_showCategories = false;
    bool m_showConversionHelp = false;
    std::optional<StillPic> m_previewPic;
    std::optional<DiskImage> m_versionsImage;
    ConversionTools::Status m_conversion;
    bool m_copiedPulse = false;
    std::string m_copiedCommand;

    std::unique_ptr<RunningShare> m_share;
};

} // namespace vorn
