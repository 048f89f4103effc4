#include "LibraryScanner.h"

#include "platform/SerialQueue.h"

namespace vorn {

LibraryScanner::LibraryScanner(Converters converters, QObject* parent)
    : QObject(parent), m_converters(converters),
      m_worker(std::make_unique<SerialQueue>("vorn-rescan")) {}

LibraryScanner::~LibraryScanner() {
    // The worker's last hand-over is posted to this object while it still exists; Qt
    // drops it with the object's other pending events.
    m_worker.reset();
}

void LibraryScanner::request(std::filesystem::path folder, bool writable, bool kick) {
    kick = kick || (m_next && m_next->kick);
    m_next = Request{std::move(folder), writable, kick};
    if (!m_running) {
        startNext();
    }
}

void LibraryScanner::startNext() {
    Request r = std::move(*m_next);
    m_next.reset();
    m_running = true;
    m_runningKick = r.kick;
    m_worker->async([this, r = std::move(r)] {
        auto contents = std::make_shared<const LibraryContents>(
            LibraryContents::scan(m_converters, r.folder, r.writable));
        QMetaObject::invokeMethod(
            this, [this, contents = std::move(contents)] { finished(contents); },
            Qt::QueuedConnection);
    });
}

void LibraryScanner::finished(std::shared_ptr<const LibraryContents> contents) {
    m_running = false;
    if (m_next) {
        // The library changed during the scan: this result is already old.
        m_next->kick = m_next->kick || m_runningKick;
        startNext();
        return;
    }
    emit scanned(contents);
    // Queueing thousands of pending files takes longer than the GUI thread may stall: the
    // worker does it, once the GUI thread has taken the result and is free again.
    if (m_runningKick) {
        m_worker->async([this, contents = std::move(contents)] {
            contents->kickConversions(m_converters, m_onConverted);
        });
    }
}

} // namespace vorn
