#pragma once
// Runs the conversions of one tool in the background: a queue, as many worker threads as
// conversions may run at once, a time limit per conversion, cancellation at shutdown, and
// the cache with its failure markers. A cache file already queued or converting is not
// queued again, so a rescan during a long batch adds nothing twice.
//
// The threads start with the first job: a program that only lists the library (a
// catalog printed on the command line) makes a worker but never a thread. They run at a
// lower CPU priority, and so do the converters they start, which inherit it: the card's
// block reads come first.

#include "convert/ConversionCache.h"
#include "convert/ConversionJob.h"
#include "convert/ConversionLimit.h"
#include "convert/ConversionTool.h"
#include "platform/CancelFlag.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vorn {

class ConversionWorker {
public:
    /// `name` names the threads (at most 15 characters); `cache` and `tool` must outlive
    /// the worker; `jobs` conversions run at once (at least one).
    ConversionWorker(std::string name, ConversionCache& cache, ConversionTool& tool,
                     ConversionLimit limit, unsigned jobs);
    /// Shuts down first.
    ~ConversionWorker();
    ConversionWorker(const ConversionWorker&) = delete;
    ConversionWorker& operator=(const ConversionWorker&) = delete;

    /// Queues a conversion, unless its cache file is queued or converting already, or the
    /// worker was shut down.
    void queue(ConversionJob job);
    /// Waits until no conversion is queued or running.
    void drain();
    /// Ends the conversions for good: drops the queued ones, stops the running converters
    /// (none is remembered as failed) and waits for the threads to end.
    void shutdown();

private:
    void serve(unsigned slot);
    void run(const ConversionJob& job, unsigned slot);
    std::optional<ConversionFailure> attempt(const ConversionJob& job,
                                             const std::filesystem::path& part, unsigned slot);
    std::optional<ConversionFailure> place(const std::filesystem::path& part,
                                           const std::filesystem::path& dest) const;
    void removePartial(const std::filesystem::path& part) const;
    void fail(const ConversionJob& job, ConversionFailure failure);

    const std::string m_name;
    ConversionCache& m_cache;
    ConversionTool& m_tool;
    const ConversionLimit m_limit;
    const unsigned m_jobs;
    CancelFlag m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ConversionJob> m_waiting;    // guarded by m_mutex
    std::set<std::filesystem::path> m_held; // dests waiting or running; guarded by m_mutex
    unsigned m_running = 0;                 // guarded by m_mutex
    bool m_closed = false;                  // guarded by m_mutex
    std::vector<std::thread> m_threads;     // started with the first job, under m_mutex
    std::mutex m_joinMutex;                 // one thread joins the others
};

} // namespace vorn
