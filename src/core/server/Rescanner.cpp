#include "server/Rescanner.h"

namespace vorn {

Rescanner::Rescanner(std::shared_ptr<PostGate> gate, SettingsFn settings, ApplyFn apply)
    : m_gate(std::move(gate)), m_settings(std::move(settings)), m_apply(std::move(apply)),
      m_worker("vorn-scan", true) {}

void Rescanner::request(unsigned reasons) {
    m_wanted |= reasons;
    ++m_asked;
    if (!m_scanning) {
        start();
    }
}

void Rescanner::afterScans(std::function<void()> task) {
    if (m_applied == m_asked) {
        task();
    } else {
        m_afterScans.emplace_back(m_asked, std::move(task));
    }
}

// The worker scans with the settings of the moment; only the finished catalogs come back.
void Rescanner::start() {
    const unsigned reasons = std::exchange(m_wanted, 0u);
    unsigned parts = LibraryScan::everything; // an asked rescan rebuilds every catalog...
    if ((reasons & rescanAsked) == 0) {       // ...a finished conversion only its own
        parts =
            ((reasons & (audioConverted | audioFailed)) != 0 ? LibraryScan::audioPart : 0u) |
            ((reasons & (picturesConverted | picturesFailed)) != 0 ? LibraryScan::picturePart : 0u);
    }
    m_scanning = true;
    m_started = m_asked;
    m_worker.async(
        [reasons, parts, settings = m_settings(), gate = m_gate, weak = weak_from_this()] {
            auto scan = std::make_shared<LibraryScan>(
                LibraryScan::run(settings.converters, settings.folder, settings.writable, parts));
            // A conversion's end asks only for its own kind: what is pending then is queued.
            if ((reasons & rescanAsked) != 0) {
                settings.kick(settings.converters, scan->audio, scan->pictures);
            }
            if (parts != LibraryScan::everything) {
                scan->completeFrom(*settings.served);
            }
            gate->post([weak, reasons, scan = std::shared_ptr<const LibraryScan>(std::move(scan)),
                        base = std::move(settings.served)] {
                if (auto self = weak.lock()) {
                    self->scanned(reasons, scan, base);
                }
            });
        });
}

void Rescanner::dispose(std::shared_ptr<const LibraryScan> old) {
    m_worker.async([old = std::move(old)]() mutable { old.reset(); });
}

// A scan of settings changed meanwhile is dropped: the change asked for the next one. So
// is a scan of one kind completed from a scan no longer served.
void Rescanner::scanned(unsigned reasons, std::shared_ptr<const LibraryScan> scan,
                        const std::shared_ptr<const LibraryScan>& base) {
    m_scanning = false;
    const Settings now = m_settings();
    const bool partial = (reasons & rescanAsked) == 0;
    if (scan->folder == now.folder && scan->writable == now.writable &&
        (!partial || base == now.served)) {
        m_applied = m_started;
        dispose(m_apply(reasons, std::move(scan)));
    } else {
        m_wanted |= reasons;
    }
    if (m_wanted != 0) {
        start();
    }
    while (!m_afterScans.empty() && m_afterScans.front().first <= m_applied) {
        const auto task = std::move(m_afterScans.front().second);
        m_afterScans.pop_front();
        task();
    }
}

} // namespace vorn
