#pragma once
// Rescans off the GUI thread. A scan of a large library (walking, probing every image,
// naming the conversion caches) takes longer than a window may freeze, so it runs on a
// worker and hands back an immutable LibraryContents.

#include "LibraryContents.h"

#include <QObject>
#include <filesystem>
#include <memory>
#include <optional>

namespace vorn {

class SerialQueue;

/// Lives on the GUI thread. Only the newest request counts: one asked for while a scan
/// runs replaces any other waiting request and runs when the scan ends, whose result is
/// then dropped. So a scan always follows the last change, and no stale result arrives
/// after a newer one.
class LibraryScanner : public QObject {
    Q_OBJECT
public:
    /// Scans with the shared transcoders' tools and caches.
    explicit LibraryScanner(QObject* parent = nullptr);
    /// Scans with these transcoders' tools and caches; both must outlive the scanner.
    LibraryScanner(const AudioTranscoder& audioTranscoder,
                   const PictureTranscoder& pictureTranscoder, QObject* parent = nullptr);
    /// Waits for a scan in progress.
    ~LibraryScanner() override;

    /// Scans `folder` (nothing when empty) with the share's writable flag.
    void request(std::filesystem::path folder, bool writable);
    /// A scan is running or waiting.
    bool busy() const { return m_running || m_next.has_value(); }

signals:
    /// The newest request's result, on the GUI thread.
    void scanned(std::shared_ptr<const vorn::LibraryContents> contents);

private:
    struct Request {
        std::filesystem::path folder;
        bool writable = true;
    };
    void startNext();
    void finished(std::shared_ptr<const LibraryContents> contents);

    const AudioTranscoder& m_audio;
    const PictureTranscoder& m_pictures;
    std::optional<Request> m_next;
    bool m_running = false;
    std::unique_ptr<SerialQueue> m_worker;
};

} // namespace vorn
