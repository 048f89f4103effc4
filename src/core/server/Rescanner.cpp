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
            gate->post([weak, reasons, scan] {
                if (auto self = weak.lock()) {
                    self->scanned(reasons, *scan);
                }
            });
        });
}

// A scan of settings changed meanwhile is dropped: the change asked for the next one.
void Rescanner::scanned(unsigned reasons, LibraryScan& scan) {
    m_scanning = false;
    const Settings now = m_settings();
    if (scan.folder == now.folder && scan.writable == now.writable) {
        m_applied = m_started;
        m_apply(reasons, scan);
        // The scan now holds the catalogs it replaced. Freeing those of a large library
        // takes a millisecond or more: the worker does it, off the way of the card's reads.
        m_worker.async([replaced = std::make_shared<LibraryScan>(std::move(scan))]() mutable {
            replaced.reset();
        });
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
