#include "RunningShare.h"

#include "platform/FolderWatcher.h"
#include "platform/SerialQueue.h"
#include "server/ShareServer.h"

#include <QPointer>

namespace vorn {

RunningShare::RunningShare(const Config& config, std::shared_ptr<const LibraryScan> scan,
                           std::uint16_t port, QObject* parent)
    : QObject(parent), m_port(port) {
    m_throttle.setSingleShot(true);
    m_throttle.setTimerType(Qt::PreciseTimer);
    connect(&m_throttle, &QTimer::timeout, this, &RunningShare::deliverStatus);
    const std::filesystem::path folder = scan->folder;
    m_server = std::make_shared<ShareServer>(std::move(scan), config.advertise, config.shareName,
                                             config.hub, config.converters);
    // The weak pointer is made here, on the GUI thread; the other threads only copy it.
    const QPointer<RunningShare> self(this);
    m_server->setVersions(config.versions);
    m_server->setOnStatus([this, self](const ShareStatus& status) { onStatus(status, self); });
    m_server->start(port);
    watch(folder, self);
}

RunningShare::~RunningShare() {
    // The watcher's thread ends here and the server stops calling this object, before it
    // goes: none of them can post to it later.
    m_watchStarter->stop();
    {
        const std::lock_guard lock(m_watcherMutex);
        m_watcher.reset();
    }
    m_server->setOnStatus({});
    m_server->stop();
    m_server.reset();
}

void RunningShare::apply(std::shared_ptr<const LibraryScan> scan) {
    m_server->apply(std::move(scan));
}

void RunningShare::setWritable(bool writable) {
    m_server->setWritable(writable);
}

void RunningShare::setHub(std::optional<HubConfig> hub) {
    m_server->setHub(std::move(hub));
}

// On the server's thread, after every request: a lock, a copy only when no status waits,
// and a post to the GUI thread only when no hand-over is scheduled.
void RunningShare::onStatus(const ShareStatus& status, const QPointer<RunningShare>& self) {
    if (m_handOver.put(status)) {
        QMetaObject::invokeMethod(
            this,
            [self] {
                if (self) {
                    self->deliverStatus();
                }
            },
            Qt::QueuedConnection);
    }
}

// While the throttle holds a hand-over back, the hand-over stays scheduled and its status
// waits: the server notes the statuses that go by and posts nothing. Once taken, a status
// that others went by is followed by the server's newest, asked for here.
void RunningShare::deliverStatus() {
    const qint64 interval = statusInterval.count();
    if (m_lastDelivery.isValid() && m_lastDelivery.elapsed() < interval) {
        if (!m_throttle.isActive()) {
            m_throttle.start(int(interval - m_lastDelivery.elapsed()));
        }
        return;
    }
    std::optional<StatusHandOver::Taken> taken = m_handOver.take();
    if (taken) {
        m_lastDelivery.start();
        if (taken->stale) {
            m_server->resendStatus(); // the server may have gone quiet since: fetch its last
        }
        emit statusArrived(taken->status);
    }
}

bool RunningShare::watching() const {
    const std::lock_guard lock(m_watcherMutex);
    return m_watcher != nullptr;
}

// Watching registers every folder of the library, looking through every entry of each
// for the folders below: as slow as a walk of the library, so a thread of the share's
// does it. Changes made meanwhile are missed, as those made during the scan served are.
void RunningShare::watch(const std::filesystem::path& folder, const QPointer<RunningShare>& self) {
    m_watchStarter = std::make_unique<SerialQueue>("vorn-watch", true);
    m_watchStarter->async([this, self, folder] {
        auto watcher = std::make_unique<FolderWatcher>(folder, [this, self] {
            QMetaObject::invokeMethod(
                this,
                [self] {
                    if (self) {
                        emit self->libraryChanged();
                    }
                },
                Qt::QueuedConnection);
        });
        if (watcher->watching()) { // else sharing goes on; only explicit rescans update
            const std::lock_guard lock(m_watcherMutex);
            m_watcher = std::move(watcher);
        }
    });
}

} // namespace vorn
