#include "StatusHandOver.h"

#include <utility>

namespace vorn {

bool StatusHandOver::put(const ShareStatus& status) {
    // Copied before the lock and the replaced one freed after it, so that the GUI
    // thread's take() never waits for an allocation.
    std::optional<ShareStatus> fresh(status);
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
    std::lock_guard lock(m_mutex);
    return std::exchange(m_latest, std::nullopt);
}

} // namespace vorn
