#pragma once
// How late a 5 ms timer on the GUI thread fires: the gaps between its firings beyond its
// interval, from construction on. A stall of the GUI thread shows as one late firing.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <vector>

namespace vorn::bench {

/// CPU time of the calling thread: what the GUI thread spent, whatever else ran meanwhile.
inline double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000 + double(t.tv_nsec) / 1e6;
}

class LatenessProbe {
public:
    static constexpr int intervalMs = 5;

    LatenessProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = double(m_clock.nsecsElapsed()) / 1e6;
            if (m_last >= 0) {
                m_late.push_back(std::max(0.0, now - m_last - intervalMs));
            }
            m_last = now;
        });
        m_clock.start();
        m_timer.start(intervalMs);
    }
    const std::vector<double>& late() const { return m_late; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = -1;
    std::vector<double> m_late;
};

} // namespace vorn::bench
