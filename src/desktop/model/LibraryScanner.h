#pragma once
// Rescans off the GUI thread. A scan of a large library (walking, probing every image,
// naming the conversion caches) takes longer than a window may freeze, so it runs on a
// worker and hands back an immutable LibraryContents, a view of the scan it made.

#include "LibraryContents.h"
#include "TableIndex.h"
#include "TextMeasure.h"
#include "UITheme.h"
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
    /// The look the table shows: the cells of the scans requested from now on are
    /// measured in it on the worker, so the GUI thread lays the columns out without
    /// measuring thousands of texts.
    void setLook(UITheme look) { m_look = look; }
    /// Lets `old` (a replaced scan's lists) go on the worker: freeing tens of thousands
    /// of rows is work the GUI thread need not do.
    void dispose(std::shared_ptr<const void> old);

signals:
    /// The newest request's result, on the GUI thread; `shareScan` is the scan `contents`
    /// views when a share asked for it (else null), for the share to serve.
    void scanned(std::shared_ptr<const vorn::LibraryContents> contents,
                 std::shared_ptr<const vorn::TableIndex> index,
                 std::shared_ptr<const vorn::LibraryScan> shareScan);

private:
    struct Request {
        std::filesystem::path folder;
        bool writable = true;
        bool kick = false;
        bool forShare = false;
        UITheme look = UITheme::eightBit;
    };
    struct Result {
        std::shared_ptr<const LibraryContents> contents;
        std::shared_ptr<const TableIndex> index; // refers into `contents`
        std::shared_ptr<const LibraryScan> shareScan;
    };
    void startNext();
    void finished(Result result);

    Converters m_converters;
    std::function<void()> m_onConverted;
    std::optional<Request> m_next;
    bool m_running = false;
    bool m_runningKick = false;
    UITheme m_look = UITheme::eightBit;
    TextMeasure m_measure; // used on the worker only
    std::unique_ptr<SerialQueue> m_worker;
};

} // namespace vorn
