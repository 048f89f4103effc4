#include "LibraryScanner.h"

#include "platform/SerialQueue.h"

namespace vorn {

LibraryScanner::LibraryScanner(QObject* parent)
    : LibraryScanner(AudioTranscoder::shared(), PictureTranscoder::shared(), parent) {}

LibraryScanner::LibraryScanner(AudioTranscoder& audioTranscoder,
                               PictureTranscoder& pictureTranscoder, QObject* parent)
    : QObject(parent), m_audio(audioTranscoder), m_pictures(pictureTranscoder),
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
    m_worker->async([this, r = std::move(r)] {
        auto contents = std::make_shared<const LibraryContents>(
            LibraryContents::scan(r.folder, r.writable, m_audio, m_pictures));
        QMetaObject::invokeMethod(
            this, [this, contents] { finished(contents); }, Qt::QueuedConnection);
        // Queued here, after the hand-over: queueing thousands of pending files takes
        // longer than the GUI thread may stall, or the table wait. A result dropped as
        // stale has queued its files all the same: they are in the newer scan too, or
        // gone, which the transcoders check before converting.
        if (r.kick) {
            contents->kickConversions(m_audio, m_pictures, m_onConverted);
        }
    });
}

void LibraryScanner::finished(std::shared_ptr<const LibraryContents> contents) {
    m_running = false;
    if (m_next) {
        startNext(); // the library changed during the scan: this result is already old
        return;
    }
    emit scanned(std::move(contents));
}

} // namespace vorn
