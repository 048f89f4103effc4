#include "server/ShareEngine.h"

#include "platform/Advertiser.h"
#include "server/LanIP.h"
#include "server/Routes.h"

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

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

// A peer refused for having too many connections is logged at most this often.
constexpr auto kRefusalLogGap = std::chrono::minutes(1);

// IPv4 peers arrive on the dual-stack socket as ::ffff:a.b.c.d; counted and logged as
// a.b.c.d, and a mapped 127.x.y.z is loopback like ::1.
asio::ip::address unmapped(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address;
}

// A card switched off mid-connection never closes its socket, and an idle kept-alive
// connection sends nothing that could fail: without probes its descriptor would be held
// for good. Probes start after a minute of silence, and a peer that answers neither them
// nor the data sent to it for two minutes is given up. A card that is there answers the
// probes in its network stack without noticing them.
void keepProbing(asio::ip::tcp::socket& socket) {
    const int fd = socket.native_handle();
    const int on = 1, idle = 60, interval = 15, count = 4;
    const unsigned userTimeoutMs = 120000;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

} // namespace

ShareEngine::ShareEngine(asio::io_context& io, ShareState state, bool advertise,
                         std::string shareName)
    : m_io(io), m_gate(std::make_shared<PostGate>(io)), m_state(std::move(state)),
      m_advertise(advertise), m_shareName(std::move(shareName)), m_retry(io), m_sweep(io),
      m_scanner("vorn-scan", true) {}

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
    startSweep();
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

std::function<void(const std::string&)> ShareEngine::onConversionFailed(ScanReason reason) {
    return [gate = m_gate, weak = weak_from_this(), reason](const std::string& line) {
        gate->post([weak, reason, line] {
            if (auto self = weak.lock()) {
                self->m_state.log(line);
                self->publish();
                self->requestScan(reason);
            }
        });
    };
}

void ShareEngine::kickTranscodes() {
    m_state.audio.kickTranscodes(onServerThread(&ShareEngine::audioReady),
                                 onConversionFailed(audioFailed));
    m_state.pictures.kickConverts(onServerThread(&ShareEngine::picturesReady),
                                  onConversionFailed(picturesFailed));
}

void ShareEngine::audioReady() {
    requestScan(audioConverted);
}

void ShareEngine::picturesReady() {
    requestScan(picturesConverted);
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
    const asio::ip::address address = unmapped(peer.address());
    std::string key(LanIP::withoutScope(address.to_string()));
    if (!withinPeerCap(address, key)) {
        socket.close(error);
        return;
    }
    keepProbing(socket);
    auto connection = std::make_shared<Connection>(std::move(socket), weak_from_this());
    m_live[connection.get()] = {connection, key};
    ++m_perPeer[key];
    connection->start();
}

// A card uses one or two connections; a peer holding many more is broken or hostile, and
// without a cap it could take every descriptor and lock all cards out.
bool ShareEngine::withinPeerCap(const asio::ip::address& address, const std::string& peer) {
    const auto open = m_perPeer.find(peer);
    if (open == m_perPeer.end() || open->second < m_limits.perPeer ||
        (address.is_loopback() && !m_limits.capLoopback)) {
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto [logged, first] = m_refusalLogged.try_emplace(peer, now);
    if (first || now - logged->second >= kRefusalLogGap) {
        logged->second = now;
        m_state.log("refused connection from " + peer + ": " + std::to_string(open->second) +
                    " already open");
        publish();
    }
    return false;
}

void ShareEngine::setLimits(const ConnectionLimits& limits) {
    m_limits = limits;
    if (m_acceptor) {
        startSweep(); // at the new pace
    }
}

// One timer looks at every connection, rather than a timer each: a request costs nothing
// more, and a stalled one ends between one and one and a quarter limits after its last byte.
void ShareEngine::startSweep() {
    m_sweep.expires_after(
        std::max<std::chrono::milliseconds>(m_limits.stall / 4, std::chrono::milliseconds(10)));
    m_sweep.async_wait([weak = weak_from_this()](const asio::error_code& error) {
        if (auto self = weak.lock(); self && !error) {
            self->sweep();
        }
    });
}

void ShareEngine::sweep() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<Connection>> stalled;
    for (const auto& [key, live] : m_live) {
        if (live.connection->stalledSince(now - m_limits.stall)) {
            stalled.push_back(live.connection);
        }
    }
    for (const auto& connection : stalled) {
        connection->end(EndReason::stalled);
    }
    std::erase_if(m_refusalLogged,
                  [&](const auto& entry) { return now - entry.second >= kRefusalLogGap; });
    startSweep();
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
    m_sweep.cancel();
    m_advertiser.reset();
    auto live = std::move(m_live);
    m_live.clear();
    m_perPeer.clear();
    for (auto& [key, entry] : live) {
        entry.connection->end(EndReason::serverStopping);
    }
    m_state.status.running = false;
    publish();
}

void ShareEngine::refresh(std::optional<std::filesystem::path> folder,
                          std::optional<bool> writable) {
    if (folder) {
        m_nextFolder = std::move(*folder); // served with its catalogs, once they are in
    }
    if (writable) {
        m_state.writable = *writable; // a share made read-only refuses writes at once
    }
    requestScan(refreshAsked);
}

void ShareEngine::requestScan(unsigned reasons) {
    m_wantedReasons |= reasons;
    ++m_scansAsked;
    if (!m_scanning) {
        startScan();
    }
}

// The walk and the probes of a large library take a long time; done here they would
// hold up every block read. The scanner's thread does them, with the settings of the
// moment, and only the finished catalogs come back to this thread.
void ShareEngine::startScan() {
    const unsigned reasons = std::exchange(m_wantedReasons, 0u);
    unsigned parts = LibraryScan::everything; // a refresh rebuilds every catalog...
    if ((reasons & refreshAsked) == 0) {      // ...a finished conversion only its own
        parts =
            ((reasons & (audioConverted | audioFailed)) != 0 ? LibraryScan::audioPart : 0u) |
            ((reasons & (picturesConverted | picturesFailed)) != 0 ? LibraryScan::picturePart : 0u);
    }
    m_scanning = true;
    m_scanStarted = m_scansAsked;
    m_scanner.async([reasons, parts, folder = m_nextFolder.value_or(m_state.folder),
                     writable = m_state.writable, gate = m_gate, weak = weak_from_this()] {
        auto scan = std::make_shared<LibraryScan>(LibraryScan::run(parts, folder, writable));
        gate->post([weak, reasons, scan] {
            if (auto self = weak.lock()) {
                self->scanned(reasons, std::move(*scan));
            }
        });
    });
}

// A scan of settings changed meanwhile is dropped: the change asked for the next one.
void ShareEngine::scanned(unsigned reasons, LibraryScan scan) {
    m_scanning = false;
    if (scan.folder == m_nextFolder.value_or(m_state.folder) && scan.writable == m_state.writable) {
        m_scanApplied = m_scanStarted;
        applyScan(reasons, std::move(scan));
    } else {
        m_wantedReasons |= reasons;
    }
    if (m_wantedReasons != 0) {
        startScan();
    }
    while (!m_afterScans.empty() && m_afterScans.front().first <= m_scanApplied) {
        const auto task = std::move(m_afterScans.front().second);
        m_afterScans.pop_front();
        task();
    }
}

void ShareEngine::applyScan(unsigned reasons, LibraryScan scan) {
    if (m_nextFolder == scan.folder) {
        m_nextFolder.reset();
    }
    m_state.apply(scan);
    // Freeing the replaced catalogs of a large library takes a millisecond or more: the
    // scanner's thread does it, off the way of the card's reads.
    m_scanner.async([replaced = std::make_shared<LibraryScan>(std::move(scan))]() mutable {
        replaced.reset();
    });
    if ((reasons & refreshAsked) != 0) {
        kickTranscodes();
        m_state.log(m_state.rescanSummary());
    }
    if ((reasons & audioConverted) != 0) {
        m_state.log("transcode done: " + std::to_string(m_state.audio.tracks.size()) +
                    " track(s) ready");
    }
    if ((reasons & picturesConverted) != 0) {
        m_state.log("picture convert done: " + std::to_string(m_state.pictures.pictures.size()) +
                    " ready");
    }
    publish();
}

void ShareEngine::afterScans(std::function<void()> task) {
    if (m_scanApplied == m_scansAsked) {
        task();
    } else {
        m_afterScans.emplace_back(m_scansAsked, std::move(task));
    }
}

void ShareEngine::setHub(std::optional<HubConfig> hub) {
    m_state.hubOverride = std::move(hub);
    m_state.log(categoryCount(m_state.effectiveHub().cats.size()));
    publish();
}

std::optional<Answer> ShareEngine::beforeBody(const Request& request) {
    std::optional<Answer> answer = Routes::beforeBody(m_state, request);
    if (answer) {
        publish();
    }
    return answer;
}

Answer ShareEngine::handle(const Request& request, std::string_view body, const std::string& peer) {
    Answer answer = Routes::handle(m_state, request, body, peer);
    publish();
    return answer;
}

void ShareEngine::closed(const void* connection, EndReason why) {
    m_state.status.connectionEnds.count(why);
    publish();
    const auto entry = m_live.find(connection);
    if (entry == m_live.end()) {
        return; // the server stopped: the registry was emptied first
    }
    if (const auto open = m_perPeer.find(entry->second.peer);
        open != m_perPeer.end() && --open->second == 0) {
        m_perPeer.erase(open);
    }
    m_live.erase(entry);
}

void ShareEngine::publish() {
    if (m_onStatus) {
        m_onStatus(m_state.status);
    }
}

} // namespace vorn
