#include "server/ShareEngine.h"

#include "platform/Advertiser.h"
#include "server/LanIP.h"
#include "server/Routes.h"

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <chrono>

namespace vorn {
namespace {

// Accept failures that pass once some connections close or memory frees up.
bool transient(const asio::error_code& error) {
    return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
           error == asio::error::no_memory || error == asio::error::connection_aborted ||
           error.value() == ENFILE;
}

std::string categoryCount(std::size_t n) {
    return "your hub: " + std::to_string(n) + (n == 1 ? " category" : " categories");
}

} // namespace

ShareEngine::ShareEngine(asio::io_context& io, ShareState state, bool advertise,
                         std::string shareName)
    : m_io(io), m_gate(std::make_shared<PostGate>(io)), m_state(std::move(state)),
      m_advertise(advertise), m_shareName(std::move(shareName)), m_retry(io) {}

ShareEngine::~ShareEngine() = default;

asio::ip::tcp::acceptor ShareEngine::openAcceptor(asio::io_context& io, std::uint16_t port) {
    asio::ip::tcp::acceptor acceptor(io);
    asio::error_code error;
    acceptor.open(asio::ip::tcp::v6(), error);
    asio::ip::tcp::endpoint endpoint(asio::ip::tcp::v6(), port);
    if (!error) {
        // One socket for both families: IPv4 peers arrive as ::ffff:a.b.c.d.
        acceptor.set_option(asio::ip::v6_only(false), error);
    }
    if (error) {
        acceptor = asio::ip::tcp::acceptor(io); // no IPv6 on this machine
        acceptor.open(asio::ip::tcp::v4());
        endpoint = asio::ip::tcp::endpoint(asio::ip::tcp::v4(), port);
    }
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
    return acceptor;
}

void ShareEngine::listen(asio::ip::tcp::acceptor acceptor) {
    if (m_acceptor) {
        asio::error_code ignored;
        m_acceptor->close(ignored); // a second start replaces the first listener
    }
    m_acceptor.emplace(std::move(acceptor));
    ++m_generation;
    asio::error_code error;
    const auto local = m_acceptor->local_endpoint(error);
    m_state.status.running = true;
    m_state.status.port = error ? 0 : local.port();
    m_state.status.lastError.reset();
    m_state.log("share up on port " + std::to_string(m_state.status.port));
    if (m_advertise) {
        startAdvertising();
    }
    publish();
    doAccept();
}

void ShareEngine::startAdvertising() {
    // Avahi reports from its own thread; the line is logged on ours.
    m_advertiser =
        std::make_unique<Advertiser>(m_shareName, m_state.status.port,
                                     [gate = m_gate, weak = weak_from_this()](std::string line) {
                                         gate->post([weak, line = std::move(line)] {
                                             if (auto self = weak.lock()) {
                                                 self->m_state.log(line);
                                                 self->publish();
                                             }
                                         });
                                     });
    m_advertiser->start();
}

std::function<void()> ShareEngine::onServerThread(void (ShareEngine::*step)()) {
    return [gate = m_gate, weak = weak_from_this(), step] {
        gate->post([weak, step] {
            if (auto self = weak.lock()) {
                (self.get()->*step)();
            }
        });
    };
}

std::function<void(const std::string&)>
ShareEngine::onConversionFailed(void (ShareState::*rescan)()) {
    return [gate = m_gate, weak = weak_from_this(), rescan](const std::string& line) {
        gate->post([weak, rescan, line] {
            if (auto self = weak.lock()) {
                (self->m_state.*rescan)(); // the item is listed as failed, no longer pending
                self->m_state.log(line);
                self->publish();
            }
        });
    };
}

void ShareEngine::kickTranscodes() {
    m_state.audio.kickTranscodes(onServerThread(&ShareEngine::audioReady),
                                 onConversionFailed(&ShareState::rescanAudio));
    m_state.pictures.kickConverts(onServerThread(&ShareEngine::picturesReady),
                                  onConversionFailed(&ShareState::rescanPictures));
}

void ShareEngine::audioReady() {
    m_state.rescanAudio();
    m_state.log("transcode done: " + std::to_string(m_state.audio.tracks.size()) +
                " track(s) ready");
    publish();
}

void ShareEngine::picturesReady() {
    m_state.rescanPictures();
    m_state.log("picture convert done: " + std::to_string(m_state.pictures.pictures.size()) +
                " ready");
    publish();
}

void ShareEngine::doAccept() {
    if (!m_acceptor) {
        return;
    }
    m_acceptor->async_accept([weak = weak_from_this(), generation = m_generation](
                                 const asio::error_code& error, asio::ip::tcp::socket socket) {
        auto self = weak.lock();
        if (self && generation == self->m_generation) {
            self->onAccept(error, std::move(socket));
        }
    });
}

void ShareEngine::onAccept(const asio::error_code& error, asio::ip::tcp::socket socket) {
    if (error == asio::error::operation_aborted || !m_acceptor) {
        m_state.status.running = false; // the listener was cancelled
        publish();
        return;
    }
    if (transient(error)) {
        m_retry.expires_after(std::chrono::milliseconds(100));
        m_retry.async_wait([weak = weak_from_this()](const asio::error_code& e) {
            if (auto self = weak.lock(); self && !e) {
                self->doAccept();
            }
        });
        return;
    }
    if (error) {
        listenerFailed(error.message());
        return;
    }
    admit(std::move(socket));
    doAccept();
}

void ShareEngine::admit(asio::ip::tcp::socket socket) {
    asio::error_code error;
    const auto peer = socket.remote_endpoint(error);
    if (error) {
        return; // the peer left before we looked
    }
    const std::string host = peer.address().to_string();
    if (!LanIP::isLanPeer(host)) {
        m_state.log("rejected non-LAN peer " + std::string(LanIP::withoutScope(host)));
        publish();
        socket.close(error);
        return;
    }
    auto connection = std::make_shared<Connection>(std::move(socket), weak_from_this());
    m_live[connection.get()] = connection;
    connection->start();
}

void ShareEngine::listenerFailed(const std::string& reason) {
    m_state.status.running = false;
    m_state.status.lastError = reason;
    m_state.log("listener failed: " + reason);
    asio::error_code ignored;
    m_acceptor->close(ignored);
    m_acceptor.reset();
    publish();
}

void ShareEngine::stopListening() {
    ++m_generation; // the cancelled accept reports to nobody: this stop reports instead
    if (m_acceptor) {
        asio::error_code ignored;
        m_acceptor->close(ignored);
        m_acceptor.reset();
    }
    m_retry.cancel();
    m_advertiser.reset();
    auto live = std::move(m_live);
    m_live.clear();
    for (auto& [key, connection] : live) {
        connection->cancel();
    }
    m_state.status.running = false;
    publish();
}

void ShareEngine::refresh(std::optional<std::filesystem::path> folder,
                          std::optional<bool> writable) {
    if (folder) {
        m_state.folder = std::move(*folder);
    }
    if (writable) {
        m_state.writable = *writable;
    }
    m_state.rescan();
    kickTranscodes();
    m_state.log(m_state.rescanSummary());
    publish();
}

void ShareEngine::setHub(std::optional<HubConfig> hub) {
    m_state.hubOverride = std::move(hub);
    m_state.log(categoryCount(m_state.effectiveHub().cats.size()));
    publish();
}

Answer ShareEngine::handle(const Request& request, std::string_view body) {
    Answer answer = Routes::handle(m_state, request, body);
    publish();
    return answer;
}

void ShareEngine::closed(const void* connection) {
    m_live.erase(connection);
}

void ShareEngine::publish() {
    if (m_onStatus) {
        m_onStatus(m_state.status);
    }
}

} // namespace vorn
