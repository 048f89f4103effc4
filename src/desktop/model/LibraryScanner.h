#pragma once
// Rescans off the GUI thread. A scan of a large library (walking, probing every image,
// naming the conversion caches) takes longer than a window may freeze, so it runs on a
// worker and hands back an immutable LibraryContents.

#include "LibraryContents.h"
#include "TableIndex.h"
#include "scan/LibraryScan.h"

#include <QObject>
#include <filesystem>
#include <functional>
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
    /// Scans with `converters`, which must outlive the scanner.
    explicit LibraryScanner(Converters converters, QObject* parent = nullptr);
    /// Waits for a scan in progress.
    ~LibraryScanner() override;

    /// Scans `folder` (nothing when empty) with the share's writable flag. With `kick`,
    /// the worker then queues the conversion of what the scan found pending (a kick asked
    /// for is kept when a newer request replaces this one). With `forShare`, the scan
    /// itself comes back too, for the share to serve: the library is walked once for both.
    void request(std::filesystem::path folder, bool writable, bool kick = false,
                 bool forShare = false);
    /// Runs on the transcoders' threads after each conversion a kick queued, finished or
    /// failed. Set before the first request.
    void setOnConverted(std::function<void()> onConverted) {
        m_onConverted = std::move(onConverted);
    }
    /// A scan is running or waiting.
    bool busy() const { return m_running || m_next.has_value(); }

signals:
    /// The newest request's result, on the GUI thread; `shareScan` is the scan it was
    /// made from when a share asked for it (else null), for the receiver to move away.
    void scanned(std::shared_ptr<const vorn::LibraryContents> contents,
                 std::shared_ptr<const vorn::TableIndex> index,
                 std::shared_ptr<vorn::LibraryScan> shareScan);

private:
    struct Request {
        std::filesystem::path folder;
        bool writable = true;
        bool kick = false;
        bool forShare = false;
    };
    struct Result {
        std::shared_ptr<const LibraryContents> contents;
        std::shared_ptr<const TableIndex> index; // refers into `contents`
        std::shared_ptr<LibraryScan> shareScan;
    };
    void startNext();
    void finished(Result result);

    Converters m_converters;
    std::function<void()> m_onConverted;
    std::optional<Request> m_next;
    bool m_running = false;
    bool m_runningKick = false;
    std::unique_ptr<SerialQueue> m_worker;
};

} // namespace vorn
