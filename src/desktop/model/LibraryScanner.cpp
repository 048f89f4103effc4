#include "LibraryScanner.h"

#include "platform/SerialQueue.h"
#include "scan/ConversionKick.h"

namespace vorn {

LibraryScanner::LibraryScanner(Converters converters, QObject* parent)
    : QObject(parent), m_converters(converters),
      // Niced: a scan is seconds of CPU that the window's thread must not wait behind.
      m_worker(std::make_unique<SerialQueue>("vorn-rescan", true)) {}

LibraryScanner::~LibraryScanner() {
    // The worker's last hand-over is posted to this object while it still exists; Qt
    // drops it with the object's other pending events.
    m_worker.reset();
}

void LibraryScanner::request(std::filesystem::path folder, bool writable, bool kick,
                             bool forShare) {
    kick = kick || (m_next && m_next->kick);
    forShare = forShare || (m_next && m_next->forShare);
    m_next = Request{std::move(folder), writable, kick, forShare, m_look};
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
        Result result;
        if (!r.folder.empty()) {
            auto scan = std::make_shared<const LibraryScan>(
                LibraryScan::run(m_converters, r.folder, r.writable));
            result.contents = std::make_shared<const LibraryContents>(scan);
            if (r.forShare) {
                result.shareScan = std::move(scan); // the same value the table shows
            }
        } else {
            result.contents = std::make_shared<const LibraryContents>();
        }
        result.index = std::make_shared<const TableIndex>(*result.contents, r.look, m_measure);
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { finished(result); },
            Qt::QueuedConnection);
    });
}

void LibraryScanner::dispose(std::shared_ptr<const void> old) {
    m_worker->async([old = std::move(old)] {});
}

void LibraryScanner::finished(Result result) {
    m_running = false;
    if (m_next) {
        // The library changed during the scan: this result is already old.
        m_next->kick = m_next->kick || m_runningKick;
        startNext();
        m_worker->async([old = std::move(result)] {}); // freed off the GUI thread
        return;
    }
    emit scanned(result.contents, result.index, std::move(result.shareScan));
    std::shared_ptr<const LibraryContents> contents = std::move(result.contents);
    // Queueing thousands of pending files takes longer than the GUI thread may stall: the
    // worker does it, once the GUI thread has taken the result and is free again.
    if (m_runningKick) {
        m_worker->async([this, contents = std::move(contents)] {
            // Finished or failed, either way the item leaves the pending list.
            const auto failed = [done = m_onConverted](const std::string&) {
                if (done) {
                    done();
                }
            };
            const ConversionKick kick{m_onConverted, m_onConverted, failed, failed};
            kick(m_converters, contents->audio(), contents->stills());
        });
    }
}

} // namespace vorn
