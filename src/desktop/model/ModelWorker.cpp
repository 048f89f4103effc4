#include "ModelWorker.h"

#include "platform/SerialQueue.h"

namespace vorn {

ModelWorker::ModelWorker(QObject* parent)
    : QObject(parent), m_queue(std::make_unique<SerialQueue>("vorn-model")) {}

ModelWorker::~ModelWorker() {
    m_queue->stop(); // queued work is dropped, running work ends before the model goes
}

std::uint64_t ModelWorker::asked(Job job) {
    const bool wasBusy = busy(job);
    const std::uint64_t ticket = ++m_asked[std::size_t(job)];
    if (!wasBusy) {
        emit busyChanged();
    }
    return ticket;
}

// The worker runs its work in order, so the ticket that came back is the newest ended.
bool ModelWorker::ended(Job job, std::uint64_t ticket, bool newestOnly) {
    m_ended[std::size_t(job)] = ticket;
    return !newestOnly || ticket == m_asked[std::size_t(job)];
}

bool ModelWorker::busy(Job job) const {
    return m_ended[std::size_t(job)] != m_asked[std::size_t(job)];
}

bool ModelWorker::busy() const {
    for (std::size_t job = 0; job < m_asked.size(); ++job) {
        if (busy(Job(job))) {
            return true;
        }
    }
    return false;
}

void ModelWorker::post(std::function<void()> task) {
    m_queue->async(std::move(task));
}

} // namespace vorn
