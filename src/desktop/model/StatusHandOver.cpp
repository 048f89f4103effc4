#include "StatusHandOver.h"

#include <utility>

namespace vorn {

bool StatusHandOver::put(const ShareStatus& status) {
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting) {
            m_skipped = true;
            return false; // a hand-over is scheduled for the waiting one
        }
        if (!m_log || m_log->appended() != status.recentLines.appended()) {
            m_log = std::make_shared<const LogLines>(status.recentLines);
        }
        Kept& kept = m_waiting.emplace();
        kept.status.running = status.running;
        kept.status.port = status.port;
        kept.status.requests = status.requests;
        kept.status.bytesServed = status.bytesServed;
        kept.status.lastError = status.lastError;
        kept.status.lastRead = status.lastRead;
        kept.status.lastWrite = status.lastWrite;
        kept.status.versionsChanged = status.versionsChanged;
        kept.log = m_log;
    }
    return !m_scheduled.exchange(true);
}

std::optional<StatusHandOver::Taken> StatusHandOver::take() {
    // Cleared before taking: a status put after the take below finds the flag clear and
    // schedules the next hand-over.
    m_scheduled.store(false);
    std::optional<Kept> kept;
    bool skipped = false;
    {
        std::lock_guard lock(m_mutex);
        kept = std::exchange(m_waiting, std::nullopt);
        skipped = std::exchange(m_skipped, false);
    }
    if (!kept) {
        return std::nullopt;
    }
    kept->status.recentLines = *kept->log;
    return Taken{std::move(kept->status), skipped};
}

} // namespace vorn
