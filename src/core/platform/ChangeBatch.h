#pragma once
// When a burst of changes is reported: `latency` after the first change that no report has
// covered yet. A change after a report starts a new wait, so the last change of any stream
// is always followed by a report. Times are passed in, which keeps the rule apart from the
// thread and the clock that drive it.

#include <chrono>
#include <optional>

namespace vorn {

class ChangeBatch {
public:
    using Clock = std::chrono::steady_clock;

    explicit ChangeBatch(Clock::duration latency) : m_latency(latency) {}

    /// A change seen at `now`: starts the wait unless one is running.
    void changed(Clock::time_point now) {
        if (!m_due) {
            m_due = now + m_latency;
        }
    }
    /// When the next report is due, if a change waits for one.
    std::optional<Clock::time_point> due() const { return m_due; }
    /// True when a report is due at `now`; the changes so far then count as reported.
    bool take(Clock::time_point now) {
        if (!m_due || now < *m_due) {
            return false;
        }
        m_due.reset();
        return true;
    }

private:
    Clock::duration m_latency;
    std::optional<Clock::time_point> m_due;
};

} // namespace vorn
