#include "convert/ConversionWorker.h"

#include "platform/Files.h"

#include <algorithm>
#include <csignal>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vorn {
namespace {

using Keep = ConversionFailure::Keep;

// The niceness of the conversion threads; the converters they start inherit it.
constexpr int kBackground = 10;

} // namespace

ConversionWorker::ConversionWorker(std::string name, ConversionCache& cache, ConversionTool& tool,
                                   ConversionLimit limit, unsigned jobs)
    : m_name(std::move(name)), m_cache(cache), m_tool(tool), m_limit(limit),
      m_jobs(std::max(1u, jobs)) {}

ConversionWorker::~ConversionWorker() {
    shutdown();
}

void ConversionWorker::queue(ConversionJob job) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || !m_held.insert(job.dest).second) {
            return;
        }
        if (m_threads.empty()) {
            m_cache.prepare(); // the folder is made and cleaned only by a program that converts
            for (unsigned slot = 0; slot < m_jobs; ++slot) {
                m_threads.emplace_back([this, slot] { serve(slot); });
            }
        }
        m_waiting.push_back(std::move(job));
    }
    m_changed.notify_all();
}

void ConversionWorker::drain() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting.empty() && m_running == 0; });
}

void ConversionWorker::shutdown() {
    std::deque<ConversionJob> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        dropped.swap(m_waiting);
        for (const ConversionJob& job : dropped) {
            m_held.erase(job.dest);
        }
    }
    m_cancel.raise();
    m_changed.notify_all();
    std::lock_guard join(m_joinMutex);
    for (std::thread& thread : m_threads) {
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) {
            thread.join();
        }
    }
    m_tool.stop();
}

void ConversionWorker::serve(unsigned slot) {
    pthread_setname_np(pthread_self(), m_name.substr(0, 15).c_str());
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), kBackground);
    // A converter kept running between conversions may die while we write it a request:
    // the write should fail with EPIPE, not end the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_waiting.empty() && !m_closed) {
            lock.unlock();
            m_tool.rest(slot);
            lock.lock();
        }
        m_changed.wait(lock, [this] { return m_closed || !m_waiting.empty(); });
        if (m_waiting.empty()) {
            return; // shut down
        }
        const ConversionJob job = std::move(m_waiting.front());
        m_waiting.pop_front();
        ++m_running;
        lock.unlock();
        run(job, slot);
        lock.lock();
        --m_running;
        m_held.erase(job.dest);
        m_changed.notify_all();
    }
}

void ConversionWorker::run(const ConversionJob& job, unsigned slot) {
    if (!job.force && (m_tool.complete(job.dest) || m_cache.failure(job.dest))) {
        return; // converted or failed meanwhile
    }
    if (!Files::exists(job.source)) {
        return; // no longer there: the next rescan drops it
    }
    const std::filesystem::path part = job.dest.string() + ".part";
    std::optional<ConversionFailure> failure = attempt(job, part, slot);
    if (!failure) {
        failure = place(part, job.dest);
    }
    if (failure) {
        removePartial(part);
        fail(job, *failure);
        return;
    }
    m_cache.forget(job.dest);
    if (job.onReady) {
        job.onReady();
    }
}

std::optional<ConversionFailure> ConversionWorker::attempt(const ConversionJob& job,
                                                           const std::filesystem::path& part,
                                                           unsigned slot) {
    if (!m_cache.writable()) {
        return ConversionFailure{"cache folder not writable", Keep::thisRun};
    }
    if (access(job.source.c_str(), R_OK) != 0) {
        return ConversionFailure{"cannot read the file", Keep::thisRun};
    }
    removePartial(part); // a stale one from an interrupted run
    return m_tool.convert({job, part, m_limit.forSource(job.source), m_cancel, slot});
}

// Moves the finished file and its companions over the earlier ones. A result that cannot
// be moved into place is a failure: reported as a success it would be converted again at
// every scan.
std::optional<ConversionFailure> ConversionWorker::place(const std::filesystem::path& part,
                                                         const std::filesystem::path& dest) const {
    for (const std::string& suffix : m_tool.companions()) {
        Files::removeQuietly(dest.string() + suffix); // an earlier one must not outlive it
    }
    if (!Files::move(part, dest)) {
        return ConversionFailure{"cannot write the cache", Keep::thisRun};
    }
    for (const std::string& suffix : m_tool.companions()) {
        const std::filesystem::path companion = part.string() + suffix;
        if (Files::exists(companion)) {
            Files::move(companion, dest.string() + suffix); // without it, none is shown
        }
    }
    return std::nullopt;
}

void ConversionWorker::removePartial(const std::filesystem::path& part) const {
    Files::removeQuietly(part);
    for (const std::string& suffix : m_tool.companions()) {
        Files::removeQuietly(part.string() + suffix);
    }
}

void ConversionWorker::fail(const ConversionJob& job, ConversionFailure failure) {
    if (failure.keep == Keep::lasting && m_cache.full()) {
        failure = ConversionFailure{"disk full", Keep::thisRun}; // not the file's fault
    }
    m_cache.remember(job.dest, failure);
    if (failure.keep != Keep::no && job.onFailed) {
        job.onFailed(std::string(m_tool.failedText()) + ": " + job.source.filename().string() +
                     " (" + failure.reason + ")");
    }
}

} // namespace vorn
