#pragma once
// One start of sharing on the desktop: the share server, the watcher of its library
// folder, and the road by which the server's status reaches the GUI thread. Made by
// every start and dropped by every stop, so nothing of an old share (a late status, a
// change of its folder) reaches the model after it.

#include "StatusHandOver.h"
#include "library/HubConfig.h"
#include "scan/Converters.h"
#include "scan/LibraryScan.h"
#include "server/ShareStatus.h"
#include "versions/VersionSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vorn {

class FolderWatcher;
class SerialQueue;
class ShareServer;

/// Lives on the GUI thread; its signals are emitted there.
class RunningShare : public QObject {
    Q_OBJECT
public:
    /// What the server is made with, besides its scan.
    struct Config {
        Converters converters;
        bool advertise = true;
        std::string shareName;
        std::optional<HubConfig> hub;
        /// How versions of the images the card writes are kept.
        VersionSettings versions;
    };

    /// The GUI thread takes the newest status at most this often: a view redraws no
    /// faster than the screen, and every status it skips is contained in the next.
    static constexpr std::chrono::milliseconds statusInterval{16};

    /// Shares the finished `scan` (its folder, flag and catalogs), listens on `port` and
    /// starts watching the folder. Throws std::system_error when the port cannot be
    /// listened on.
    RunningShare(const Config& config, std::shared_ptr<const LibraryScan> scan, std::uint16_t port,
                 QObject* parent = nullptr);
    /// Stops the server and the watcher; statuses still on their way are dropped. Work
    /// that still holds the server (see server()) ends it when it is done.
    ~RunningShare() override;

    /// Serves a newer scan of the library.
    void apply(std::shared_ptr<const LibraryScan> scan);
    /// A share made read-only refuses writes at once.
    void setWritable(bool writable);
    /// Hands the user's categories (absent: the defaults) to the server.
    void setHub(std::optional<HubConfig> hub);
    /// The port the share listens on.
    std::uint16_t port() const { return m_port; }
    /// The server, for what the model's worker asks of it (versions); held, it outlives
    /// this object until the work is done, no longer listening.
    std::shared_ptr<ShareServer> server() const { return m_server; }
    /// The library folder is watched for changes (false until the watch is set up, and
    /// when inotify is unavailable).
    bool watching() const;

signals:
    /// The newest status of the server.
    void statusArrived(const vorn::ShareStatus& status);
    /// Something changed in the library folder (a batch of changes, after a short delay).
    void libraryChanged();

private:
    void onStatus(const ShareStatus& status, const QPointer<RunningShare>& self);
    void deliverStatus();
    void watch(const std::filesystem::path& folder, const QPointer<RunningShare>& self);

    std::uint16_t m_port;
    StatusHandOver m_handOver;
    QTimer m_throttle;
    QElapsedTimer m_lastDelivery;
    // Declared last: destroyed first, so their threads end before what they use goes.
    std::shared_ptr<ShareServer> m_server;
    std::unique_ptr<SerialQueue> m_watchStarter; // sets m_watcher up, off the GUI thread
    mutable std::mutex m_watcherMutex;
    std::unique_ptr<FolderWatcher> m_watcher;
};

} // namespace vorn
