#include "server/ShareServer.h"

#include "platform/OpenFileLimit.h"
#include "server/Listener.h"
#include "server/ServerCore.h"

#include <asio/post.hpp>
#include <future>

namespace vorn {

ShareServer::ShareServer(std::shared_ptr<const LibraryScan> scan, bool advertise,
                         std::string shareName, std::optional<HubConfig> hub, Converters converters,
                         SteadyNow versionClock)
    : m_work(asio::make_work_guard(m_io)) {
    ShareState state(converters);
    state.versionClock = std::move(versionClock);
    state.writable = scan->writable;
    state.hubOverride = std::move(hub);
    state.apply(std::move(scan));
    m_core = std::make_shared<ServerCore>(m_io, std::move(state), advertise, std::move(shareName));
    m_thread = std::thread([this] { runQueue(); });
}

ShareServer::ShareServer(LibraryScan scan, bool advertise, std::string shareName,
                         std::optional<HubConfig> hub, Converters converters,
                         SteadyNow versionClock)
    : ShareServer(std::make_shared<const LibraryScan>(std::move(scan)), advertise,
                  std::move(shareName), std::move(hub), converters, std::move(versionClock)) {}

// A handler that throws unwinds out of run(); the share logs it and runs on, since the
// card's other requests and every other connection are still good.
void ShareServer::runQueue() {
    for (;;) {
        try {
            m_io.run();
            return;
        } catch (const std::exception& e) {
            noteFailure(e.what());
        } catch (...) {
            noteFailure("unknown exception");
        }
    }
}

void ShareServer::noteFailure(const std::string& what) {
    try {
        m_core->note("internal error, the share goes on: " + what);
    } catch (...) { // the status receiver that threw may throw again
    }
}

ShareServer::~ShareServer() {
    stop();
    m_core->closeGate();
    m_work.reset();
    m_io.stop();
    m_thread.join();
}

// Runs `task` on the server's thread and waits for its result.
template <class F> auto ShareServer::onQueue(F task) {
    using Result = decltype(task());
    if (m_io.get_executor().running_in_this_thread()) {
        return task();
    }
    std::packaged_task<Result()> job(std::move(task));
    std::future<Result> result = job.get_future();
    asio::post(m_io, std::move(job));
    return result.get();
}

// `onQueue`, with `task` held back until the rescans asked for so far are swapped in.
template <class F> auto ShareServer::afterScans(F task) {
    using Result = decltype(task());
    if (m_io.get_executor().running_in_this_thread()) {
        return task();
    }
    auto job = std::make_shared<std::packaged_task<Result()>>(std::move(task));
    std::future<Result> result = job->get_future();
    asio::post(m_io, [core = m_core, job] { core->afterScans([job] { (*job)(); }); });
    return result.get();
}

void ShareServer::start(std::uint16_t port) {
    raiseOpenFileLimit();
    auto acceptor = std::make_shared<asio::ip::tcp::acceptor>(Listener::open(m_io, port));
    asio::post(m_io, [core = m_core, acceptor] { core->listen(std::move(*acceptor)); });
}

void ShareServer::stop() {
    onQueue([core = m_core] { core->stopListening(); });
}

void ShareServer::convertPending() {
    asio::post(m_io, [core = m_core] { core->convertPending(); });
}

void ShareServer::rescan(std::optional<std::filesystem::path> folder,
                         std::optional<bool> writable) {
    asio::post(m_io, [core = m_core, folder = std::move(folder), writable]() mutable {
        core->rescan(std::move(folder), writable);
    });
}

void ShareServer::apply(std::shared_ptr<const LibraryScan> scan) {
    asio::post(m_io, [core = m_core, scan = std::move(scan)]() mutable {
        core->takeScan(std::move(scan));
    });
}

void ShareServer::setWritable(bool writable) {
    asio::post(m_io, [core = m_core, writable] { core->setWritable(writable); });
}

void ShareServer::setHub(std::optional<HubConfig> hub) {
    asio::post(m_io, [core = m_core, hub = std::move(hub)]() mutable {
        // Held by the core itself until it runs: a plain pointer, or it would keep it alive.
        core->afterScans([self = core.get(), hub = std::move(hub)] { self->setHub(hub); });
    });
}

void ShareServer::log(std::string message) {
    asio::post(m_io, [core = m_core, message = std::move(message)] { core->note(message); });
}

void ShareServer::setLimits(const ConnectionLimits& limits) {
    onQueue([core = m_core, limits] { core->setLimits(limits); });
}

void ShareServer::setVersions(VersionSettings settings) {
    onQueue([core = m_core, settings = std::move(settings)]() mutable {
        core->setVersions(std::move(settings));
    });
}

std::vector<Version> ShareServer::versions(const std::string& relPath) {
    return onQueue([core = m_core, relPath] { return core->versions(relPath); });
}

VersionRestore::Outcome ShareServer::restoreInPlace(const std::string& relPath,
                                                    const std::string& id) {
    return onQueue([core = m_core, relPath, id] { return core->restoreInPlace(relPath, id); });
}

void ShareServer::setOnStatus(StatusFn onStatus) {
    onQueue([core = m_core, onStatus = std::move(onStatus)]() mutable {
        core->setOnStatus(std::move(onStatus));
    });
}

void ShareServer::resendStatus() {
    asio::post(m_io, [core = m_core] { core->resendStatus(); });
}

AudioCatalog ShareServer::currentAudioCatalog() {
    return afterScans([core = m_core] { return core->state().audio(); });
}

PictureCatalog ShareServer::currentPictureCatalog() {
    return afterScans([core = m_core] { return core->state().pictures(); });
}

DiskCatalog ShareServer::currentDiskCatalog() {
    return afterScans([core = m_core] { return core->state().catalog(); });
}

HubConfig ShareServer::currentHub() {
    return afterScans([core = m_core] { return core->state().effectiveHub(); });
}

ShareStatus ShareServer::status() {
    return afterScans([core = m_core] { return core->state().status; });
}

} // namespace vorn
