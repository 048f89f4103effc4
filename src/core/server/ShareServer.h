#pragma once
// Shares one library folder on the local network: the listener, the open connections,
// the catalogs and the published status. All of it lives on one thread, the server's
// queue; the public operations below may be called from any other thread.

#include "audio/AudioCatalog.h"
#include "library/DiskCatalog.h"
#include "library/HubConfig.h"
#include "pictures/PictureCatalog.h"
#include "platform/SteadyNow.h"
#include "scan/Converters.h"
#include "scan/LibraryScan.h"
#include "server/ConnectionLimits.h"
#include "server/ShareStatus.h"
#include "versions/VersionRestore.h"
#include "versions/VersionSettings.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vorn {

class ServerCore;

class ShareServer {
public:
    using StatusFn = std::function<void(const ShareStatus&)>;

    static constexpr std::uint16_t defaultPort = 8271;

    /// Shares a finished scan (its folder, writable flag and catalogs), held as it is, not
    /// copied; does not listen yet and starts no conversion (see convertPending). The
    /// converters must outlive the server. `versionClock` tells the time the versions'
    /// write sessions are measured by.
    ShareServer(std::shared_ptr<const LibraryScan> scan, bool advertise, std::string shareName,
                std::optional<HubConfig> hub, Converters converters,
                SteadyNow versionClock = std::chrono::steady_clock::now);
    /// The same, for an owner that scanned for the share alone.
    ShareServer(LibraryScan scan, bool advertise, std::string shareName,
                std::optional<HubConfig> hub, Converters converters,
                SteadyNow versionClock = std::chrono::steady_clock::now);
    /// Stops sharing and ends the server's thread.
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    /// Listens on `port` (0 picks a free one), after raising the process's limit of open
    /// descriptors. Throws std::system_error when the port cannot be listened on; nothing
    /// changes then.
    void start(std::uint16_t port);
    /// Stops listening, withdraws the advertisement and closes every connection; waits for
    /// the server's thread, so it must not be called while holding a lock the status
    /// receiver takes.
    void stop();
    /// Converts what the scan served found pending, rescanning as conversions end, for an
    /// owner that does not convert itself (vorn-share, tests; the desktop's scanner does).
    /// Later rescans convert what they find by themselves.
    void convertPending();
    /// Rescans the library, after replacing the folder and/or the writable flag if given.
    /// The scan runs on a thread of its own and its catalogs are swapped in when done
    /// (requests meanwhile see the previous ones); rescans asked for while one runs
    /// make one more scan after it. A new writable flag applies at once.
    void rescan(std::optional<std::filesystem::path> folder = std::nullopt,
                std::optional<bool> writable = std::nullopt);
    /// Serves a newer finished scan of the owner's (its folder and writable flag with it),
    /// in place of the one served, once the rescans asked for before are in.
    void apply(std::shared_ptr<const LibraryScan> scan);
    /// Replaces the writable flag at once, without a rescan (the owner's next scan carries
    /// the flag into the catalogs).
    void setWritable(bool writable);
    /// Replaces the user's categories (absent: the defaults), once the rescans asked for
    /// before are in.
    void setHub(std::optional<HubConfig> hub);
    /// Appends a line of the owner's to the share's log.
    void log(std::string message);
    /// Replaces the limits on stuck and greedy connections (the defaults suit every card;
    /// tests shorten them).
    void setLimits(const ConnectionLimits& limits);
    /// Keeps versions of the images the card writes as `settings` say; none are kept
    /// until this is called.
    void setVersions(VersionSettings settings);
    /// The versions of the library image `relPath`, newest first.
    std::vector<Version> versions(const std::string& relPath);
    /// Brings the library image `relPath` back to its version `id` in place, on the
    /// server's thread between two of the card's writes, after keeping the image as it is
    /// as a version of its own (so the restore can be undone). Waits for it: a large image
    /// takes a moment, so call it from a thread that may wait.
    VersionRestore::Outcome restoreInPlace(const std::string& relPath, const std::string& id);
    /// Receives a copy of the status after every change, on the server's thread. It must
    /// not block, nor wait for the server. Once this returns, the previous receiver is
    /// never called again.
    void setOnStatus(StatusFn onStatus);
    /// Hands the current status to the receiver once more, soon, on the server's thread:
    /// a receiver that lets statuses go by while it is busy asks for the newest this way.
    void resendStatus();

    // The readers below answer once the rescans asked for before the call are in, so a
    // caller that rescans and then reads sees what it asked for.

    /// A copy of the disk catalog.
    DiskCatalog currentDiskCatalog();
    /// A copy of the audio catalog.
    AudioCatalog currentAudioCatalog();
    /// A copy of the picture catalog.
    PictureCatalog currentPictureCatalog();
    /// The categories in force.
    HubConfig currentHub();
    /// A copy of the status.
    ShareStatus status();

private:
    void runQueue();
    void noteFailure(const std::string& what);
    template <class F> auto onQueue(F task);
    template <class F> auto afterScans(F task);

    asio::io_context m_io;
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    std::shared_ptr<ServerCore> m_core;
    std::thread m_thread;
};

} // namespace vorn
