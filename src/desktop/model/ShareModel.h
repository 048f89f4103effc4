#pragma once
// The desktop window's model, without the window: the settings, the running share and
// what it reports (traffic, log, error, activity lights), the clipboard labels, the open
// sheets and the dated copies. It owns the library (LibraryModel), the versions
// (VersionsModel) and the conversion tools (ToolsModel), which the views that need them
// receive directly. None of them talks to the server or the catalogs.

#include "Activity.h"
#include "LibraryModel.h"
#include "Look.h"
#include "ModelWorker.h"
#include "ToolsModel.h"
#include "UITheme.h"
#include "VersionsModel.h"
#include "library/DiskImage.h"
#include "pictures/StillPic.h"
#include "platform/Date.h"
#include "server/ShareStatus.h"

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
class PictureTranscoder;
class Preferences;
class RunningShare;
class ShareServer;
struct LibraryScan;
struct TableRow;

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
    /// Runs `then` on the GUI thread `ms` milliseconds from now, while the model lives.
    using Timer = std::function<void(int ms, std::function<void()> then)>;

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
    /// What times the "Copied" labels (tests replace it; a single-shot QTimer by default).
    void setTimer(Timer timer);

    // The parts of the window's state with jobs of their own.
    /// The look shown, for the widgets that need nothing else.
    Look& look() { return *m_look; }
    const Look& look() const { return *m_look; }
    LibraryModel& library() { return *m_library; }
    const LibraryModel& library() const { return *m_library; }
    VersionsModel& versions() { return *m_versions; }
    ToolsModel& tools() { return *m_tools; }
    const ToolsModel& tools() const { return *m_tools; }

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
    UITheme uiTheme() const { return m_look->uiTheme(); }
    /// Stores the choice and switches look(); also lays the columns out again (the looks'
    /// fonts differ).
    void setUITheme(UITheme look);
    const Theme& theme() const { return m_look->theme(); }
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

    /// A scan, a start or work of the model's worker is under way.
    bool working() const;
    /// What the model's worker is doing.
    const ModelWorker& work() const { return *m_worker; }

    // Sheets.
    bool showCategories() const { return m_showCategories; }
    void setShowCategories(bool on);
    /// The picture shown in the preview sheet.
    const std::optional<StillPic>& previewPic() const { return m_previewPic; }
    void setPreviewPic(std::optional<StillPic> picture);

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
    /// The library file a row stands for; absent for items still converting.
    static std::optional<std::filesystem::path> fileOf(const TableRow& row);
    /// "Show in File Manager".
    void reveal(const std::filesystem::path& file);

signals:
    /// folderPath.
    void folderChanged();
    /// writable, advertise, port.
    void settingsChanged();
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
    /// showCategories, previewPic.
    void sheetsChanged();
    /// copiedPulse, copiedCommand.
    void copiedChanged();
    /// starting, or what the worker is doing.
    void workChanged();
    /// A snapshot ended: the copy, or nothing (lastError says why).
    void snapshotEnded(std::optional<std::filesystem::path> copy);

private:
    void readPreferences();
    std::shared_ptr<ShareServer> server() const;
    void launch(std::shared_ptr<const LibraryScan> scan);
    void takeStatus(const ShareStatus& status);
    void setSharing(bool on);
    void setLastError(std::optional<std::string> notice);
    void setErrors(std::optional<std::string> notice, std::optional<std::string> serverError);
    void noteStored(bool stored);
    void setActivity(ItemDates lastRead, ItemDates lastWrite);
    bool mayBeLit(Date cutoff) const;
    void redrawLights();
    void connectParts();

    Preferences& m_preferences;
    AudioTranscoder& m_audioTranscoder;
    PictureTranscoder& m_pictureTranscoder;
    std::function<Date()> m_clock;
    Timer m_timer;
    std::unique_ptr<FolderChooser> m_chooser;
    std::unique_ptr<FileRevealer> m_revealer;

    std::string m_folderPath;
    bool m_writable = true;
    bool m_advertise = true;
    std::uint16_t m_port = 8271;

    Look* m_look;              // a child of this object
    ModelWorker* m_worker;     // a child of this object
    LibraryModel* m_library;   // a child of this object
    VersionsModel* m_versions; // a child of this object
    ToolsModel* m_tools;       // a child of this object

    bool m_sharing = false;
    bool m_starting = false;
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
    std::optional<StillPic> m_previewPic;
    bool m_copiedPulse = false;
    std::string m_copiedCommand;

    std::unique_ptr<RunningShare> m_share;
};

} // namespace vorn
