#include "server/ShareServer.h"

#include "platform/OpenFileLimit.h"
#include "server/ShareEngine.h"

#include <asio/post.hpp>
#include <future>

namespace vorn {

ShareServer::ShareServer(std::filesystem::path folder, bool writable, bool advertise,
                         std::string shareName, std::optional<HubConfig> hub)
    : m_work(asio::make_work_guard(m_io)) {
    ShareState state;
    state.folder = std::move(folder);
    state.writable = writable;
    state.hubOverride = std::move(hub);
    state.rescan();
    m_engine =
        std::make_shared<ShareEngine>(m_io, std::move(state), advertise, std::move(shareName));
    m_engine->kickTranscodes(); // before the thread starts: nothing else touches the engine yet
    m_thread = std::thread([this] { m_io.run(); });
}

ShareServer::~ShareServer() {
    stop();
    m_engine->closeGate();
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
    asio::post(m_io, [engine = m_engine, job] { engine->afterScans([job] { (*job)(); }); });
    return result.get();
}

void ShareServer::start(std::uint16_t port) {
    raiseOpenFileLimit();
    auto acceptor =
        std::make_shared<asio::ip::tcp::acceptor>(ShareEngine::openAcceptor(m_io, port));
    asio::post(m_io, [engine = m_engine, acceptor] { engine->listen(std::move(*acceptor)); });
}

void ShareServer::stop() {
    onQueue([engine = m_engine] { engine->stopListening(); });
}

void ShareServer::refresh(std::optional<std::filesystem::path> folder,
                          std::optional<bool> writable) {
    asio::post(m_io, [engine = m_engine, folder = std::move(folder), writable]() mutable {
        engine->refresh(std::move(folder), writable);
    });
}

void ShareServer::setHub(std::optional<HubConfig> hub) {
    asio::post(m_io, [engine = m_engine, hub = std::move(hub)]() mutable {
        // Held by the engine itself until it runs: a plain pointer, or it would keep it alive.
        engine->afterScans([self = engine.get(), hub = std::move(hub)] { self->setHub(hub); });
    });
}

void ShareServer::setLimits(const ConnectionLimits& limits) {
    onQueue([engine = m_engine, limits] { engine->setLimits(limits); });
}

void ShareServer::setOnStatus(StatusFn onStatus) {
    onQueue([engine = m_engine, onStatus = std::move(onStatus)]() mutable {
        engine->setOnStatus(std::move(onStatus));
    });
}

void ShareServer::republish() {
    asio::post(m_io, [engine = m_engine] { engine->republish(); });
}

AudioCatalog ShareServer::currentAudioCatalog() {
    return afterScans([engine = m_engine] { return engine->state().audio; });
}

PictureCatalog ShareServer::currentPictureCatalog() {
    return afterScans([engine = m_engine] { return engine->state().pictures; });
}

Catalog ShareServer::currentCatalog() {
    return afterScans([engine = m_engine] { return engine->state().catalog; });
}

HubConfig ShareServer::currentHub() {
    return afterScans([engine = m_engine] { return engine->state().effectiveHub(); });
}

ShareStatus ShareServer::status() {
    return afterScans([engine = m_engine] { return engine->state().status; });
}

} // namespace vorn
