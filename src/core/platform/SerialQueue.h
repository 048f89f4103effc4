#pragma once
// One worker thread running tasks one at a time, in the order they were queued.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vorn {

class SerialQueue {
public:
    /// Starts the worker; `name` shows in debuggers and `top` (at most 15 characters).
    /// `background` lowers the worker's scheduling priority, for conversions.
    explicit SerialQueue(std::string name, bool background = false);
    /// Runs the tasks already queued, then ends the worker (unless stopped before).
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    /// Queues a task; returns at once. Once the queue is closed the task is dropped. An
    /// exception escaping the task is written to stderr; the queue goes on.
    void async(std::function<void()> task);
    /// Waits until every task queued before this call has run, or was dropped (for tests
    /// and shutdown).
    void drain();
    /// Drops the tasks that have not started and every task queued from now on; the
    /// running task, if any, goes on. Returns how many were dropped.
    std::size_t close();
    /// Closes the queue, waits for the running task and ends the worker. Called from a
    /// task, it does not wait for that task.
    void stop();

private:
    void run();
    void runGuarded(const std::function<void()>& task) const;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    bool m_closed = false;
    std::mutex m_joinMutex; // one thread joins the worker
    std::string m_name;
    bool m_background;
    std::thread m_worker;
};

} // namespace vorn
