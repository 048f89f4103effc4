#include "platform/SerialQueue.h"

#include <future>
#include <iostream>
#include <memory>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vorn {

SerialQueue::SerialQueue(std::string name, bool background)
    : m_name(std::move(name)), m_background(background), m_worker([this] { run(); }) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    std::lock_guard join(m_joinMutex);
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void SerialQueue::async(std::function<void()> task) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return; // destroyed here, outside the lock; a drain waiting on it wakes up
        }
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

std::size_t SerialQueue::close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        dropped.swap(m_tasks);
    }
    return dropped.size(); // the tasks are destroyed outside the lock
}

void SerialQueue::stop() {
    close();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    std::lock_guard join(m_joinMutex);
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id()) {
        m_worker.join();
    }
}

void SerialQueue::drain() {
    // The task owns the promise: when the task is dropped unrun, the promise goes with it
    // and the wait ends all the same.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    async([done = std::move(done)] { done->set_value(); });
    finished.wait();
}

void SerialQueue::run() {
    pthread_setname_np(pthread_self(), m_name.substr(0, 15).c_str());
    if (m_background) {
        // Conversions may take seconds of CPU; the share's own thread should not feel them.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
    }
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty()) {
                return; // stopping, and nothing left to run
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        runGuarded(task);
    }
}

// A task that throws must not take the worker, and with it the process, down: the tasks
// queued after it still run.
void SerialQueue::runGuarded(const std::function<void()>& task) const {
    try {
        task();
    } catch (const std::exception& e) {
        std::cerr << "vorn: a task of " << m_name << " failed: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "vorn: a task of " << m_name << " failed" << std::endl;
    }
}

} // namespace vorn
