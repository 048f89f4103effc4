#pragma once
// The model's long work away from the GUI thread: listing and restoring versions, dated
// copies, looking for the conversion tools. Each takes from milliseconds to seconds (a
// 32 MB copy with its fsync, a python3 that imports numpy), longer than a window may
// freeze. The work runs on one worker of the model's; its result comes back to the GUI
// thread with a queued call, as the library scanner's does.

#include <QObject>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace vorn {

class SerialQueue;

/// Lives on the GUI thread; `done` callbacks run there.
class ModelWorker : public QObject {
    Q_OBJECT
public:
    /// The kinds of work, each with its own "under way" state.
    enum class Job : std::size_t { versions, copy, restore, tools, count };

    explicit ModelWorker(QObject* parent = nullptr);
    /// Waits for the work that is running; results still on their way are dropped.
    ~ModelWorker() override;

    /// Runs `work` on the worker, then `done` with its result on the GUI thread. With
    /// `newestOnly`, a result is dropped when newer work of the same kind was asked for
    /// meanwhile (a listing or a probe that is already old); otherwise each is delivered
    /// (every copy made must be told of).
    template <class Result>
    void run(Job job, std::function<Result()> work, std::function<void(Result)> done,
             bool newestOnly = false) {
        const std::uint64_t ticket = asked(job);
        post([this, job, ticket, newestOnly, work = std::move(work),
              done = std::move(done), self = QPointer<ModelWorker>(this)] {
            auto result = std::make_shared<Result>(work());
            QMetaObject::invokeMethod(
                this,
                [this, self, job, ticket, newestOnly, done, result] {
                    if (!self) {
                        return;
                    }
                    if (ended(job, ticket, newestOnly)) {
                        done(std::move(*result));
                    }
                    if (!busy(job)) {
                        emit busyChanged(); // once the result is in place
                    }
                },
                Qt::QueuedConnection);
        });
    }
    /// Work of this kind was asked for and its newest result has not come back yet.
    bool busy(Job job) const;
    /// Any work is under way.
    bool busy() const;

signals:
    /// busy() of some kind changed.
    void busyChanged();

private:
    std::uint64_t asked(Job job);
    bool ended(Job job, std::uint64_t ticket, bool newestOnly);
    void post(std::function<void()> task);

    std::array<std::uint64_t, std::size_t(Job::count)> m_asked{};
    std::array<std::uint64_t, std::size_t(Job::count)> m_ended{};
    std::unique_ptr<SerialQueue> m_queue;
};

} // namespace vorn
