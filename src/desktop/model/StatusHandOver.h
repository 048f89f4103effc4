#pragma once
// Carries the share server's newest status from the server's thread to the GUI thread.
// A card reading thousands of blocks a second makes thousands of statuses; the GUI
// thread needs only the newest, since each one carries the counters, the log and the
// last reads and writes in full.

#include "server/LogLines.h"
#include "server/ShareStatus.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace vorn {

/// At most one status waits at a time, and while it waits the server's thread copies no
/// other: a kept status shares the server's record of last reads, and a server whose
/// record is shared must copy it whole at the next read, which for a card that has read
/// hundreds of items costs more than the read itself. Statuses that go by meanwhile are
/// noted, and the GUI thread asks the server for the newest once it has taken the one
/// that waited.
class StatusHandOver {
public:
    /// What the GUI thread takes.
    struct Taken {
        ShareStatus status;
        /// Newer statuses went by while this one waited: ask the server for the newest.
        bool stale = false;
    };

    /// Server's thread: keeps `status` unless one is waiting. True when no hand-over was
    /// scheduled, so the caller must schedule one that calls take().
    bool put(const ShareStatus& status);
    /// GUI thread, in the scheduled hand-over: the status that waited (absent when an
    /// earlier hand-over already took it). Statuses put after this schedule a new one.
    std::optional<Taken> take();

private:
    // The status without its log, and the log apart: a block read adds no line, and the
    // server's thread then hands over the log it already copied instead of a new copy.
    struct Kept {
        ShareStatus status;
        std::shared_ptr<const LogLines> log;
    };

    std::shared_ptr<const LogLines> m_log; // the server's thread's alone
    std::mutex m_mutex;
    std::optional<Kept> m_waiting; // guarded by m_mutex
    bool m_skipped = false;        // guarded by m_mutex
    std::atomic<bool> m_scheduled{false};
};

} // namespace vorn
