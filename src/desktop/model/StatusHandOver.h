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

/// At most one hand-over waits at a time: while one is scheduled, newer statuses replace
/// the one kept here without scheduling another.
class StatusHandOver {
public:
    /// Server's thread: keeps `status` as the newest. True when no hand-over was waiting,
    /// so the caller must schedule one that calls take().
    bool put(const ShareStatus& status);
    /// GUI thread, in the scheduled hand-over: the newest status not taken yet (absent when
    /// an earlier hand-over already took it). Statuses put after this schedule a new one.
    std::optional<ShareStatus> take();

private:
    // The status without its log, and the log apart: a block read adds no line, and the
    // server's thread then hands over the log it already copied instead of a new copy.
    struct Kept {
        ShareStatus status;
        std::shared_ptr<const LogLines> log;
    };

    std::shared_ptr<const LogLines> m_log; // the server's thread's alone
    std::mutex m_mutex;
    std::optional<Kept> m_latest; // guarded by m_mutex
    std::atomic<bool> m_scheduled{false};
};

} // namespace vorn
