#include "StatusHandOver.h"

#include <utility>

namespace vorn {

bool StatusHandOver::put(const ShareStatus& status) {
    if (!m_log || m_log->appended() != status.recentLines.appended()) {
        m_log = std::make_shared<const LogLines>(status.recentLines);
    }
    // Made before the lock and the replaced one freed after it, so that the GUI thread's
    // take() never waits for an allocation.
    std::optional<Kept> fresh(std::in_place);
    fresh->status.running = status.running;
    fresh->status.port = status.port;
    fresh->status.requests = status.requests;
    fresh->status.bytesServed = status.bytesServed;
    fresh->status.lastError = status.lastError;
    fresh->status.lastRead = status.lastRead;
    fresh->status.lastWrite = status.lastWrite;
    fresh->log = m_log;
    {
        std::lock_guard lock(m_mutex);
        m_latest.swap(fresh);
    }
    return !m_scheduled.exchange(true);
}

std::optional<ShareStatus> StatusHandOver::take() {
    // Cleared before taking: a status put after the take below finds the flag clear and
    // schedules the next hand-over, so none is left behind when the server goes quiet.
    m_scheduled.store(false);
    std::optional<Kept> kept;
    {
        std::lock_guard lock(m_mutex);
        kept = std::exchange(m_latest, std::nullopt);
    }
    if (!kept) {
        return std::nullopt;
    }
    kept->status.recentLines = *kept->log;
    return std::move(kept->status);
}

} // namespace vorn
