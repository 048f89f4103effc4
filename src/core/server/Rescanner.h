#pragma once
// Rescans of the library away from the server's thread. The walk and the probes of a
// large library take a long time; done on the server's thread they would hold up every
// block read. One scan runs at a time on a worker of its own; what is asked meanwhile is
// gathered into one more scan after it, so a scan always follows the last change. Each
// result comes back to the server's thread, where the owner swaps it in.

#include "platform/SerialQueue.h"
#include "scan/ConversionKick.h"
#include "scan/LibraryScan.h"
#include "server/PostGate.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace vorn {

class Rescanner : public std::enable_shared_from_this<Rescanner> {
public:
    /// Why a scan is wanted; each reason makes its owner log its own line once the scan is in.
    enum Reason : unsigned {
        rescanAsked = 1,
        audioConverted = 2,
        picturesConverted = 4,
        audioFailed = 8, // the failed item moves from pending to failed; no line of its own
        picturesFailed = 16,
    };
    /// What a scan is made with, as the owner has it at the moment.
    struct Settings {
        Converters converters;
        std::filesystem::path folder;
        bool writable = true;
        /// The scan served now, which a scan of one kind takes the other kinds from.
        std::shared_ptr<const LibraryScan> served;
        /// Starts what an asked rescan finds pending, on the worker, after the scan.
        ConversionKick kick;
    };
    using SettingsFn = std::function<Settings()>;
    /// Serves a finished scan and returns the one it replaces.
    using ApplyFn = std::function<std::shared_ptr<const LibraryScan>(
        unsigned reasons, std::shared_ptr<const LibraryScan> scan)>;

    /// `settings` and `apply` run on the server's thread; `gate` is the way back to it.
    Rescanner(std::shared_ptr<PostGate> gate, SettingsFn settings, ApplyFn apply);

    /// Asks for a scan for `reasons`.
    void request(unsigned reasons);
    /// Runs `task` once the scans asked for so far are swapped in (at once when none is).
    void afterScans(std::function<void()> task);
    /// Runs `task` on the scans' worker, after the scans already running or queued there.
    void onWorker(std::function<void()> task) { m_worker.async(std::move(task)); }
    /// Lets a replaced scan go on the worker: freeing the catalogs of a large library
    /// takes a millisecond or more, which the card's reads need not wait for.
    void dispose(std::shared_ptr<const LibraryScan> old);

private:
    void start();
    void scanned(unsigned reasons, std::shared_ptr<const LibraryScan> scan,
                 const std::shared_ptr<const LibraryScan>& base);

    std::shared_ptr<PostGate> m_gate;
    SettingsFn m_settings;
    ApplyFn m_apply;
    bool m_scanning = false;
    unsigned m_wanted = 0;
    std::uint64_t m_asked = 0, m_started = 0, m_applied = 0;
    std::deque<std::pair<std::uint64_t, std::function<void()>>> m_afterScans;
    SerialQueue m_worker; // last: its thread ends before anything else goes
};

} // namespace vorn
