#include "server/ConnectionTable.h"

#include "server/LanIP.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <vector>

namespace vorn {
namespace {

// A peer refused for having too many connections is logged at most this often.
constexpr auto kRefusalLogGap = std::chrono::minutes(1);

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

ConnectionTable::ConnectionTable(asio::io_context& io, LogFn log)
    : m_log(std::move(log)),
      m_budget(std::make_shared<BodyBudget>(m_limits.bodyPerRequest, m_limits.bodyPerPeer)),
      m_sweep(io) {}

void ConnectionTable::setLimits(const ConnectionLimits& limits) {
    m_limits = limits;
    m_budget->setLimits(limits.bodyPerRequest, limits.bodyPerPeer);
    if (m_sweeping) {
        startSweep(); // at the new pace
    }
}

void ConnectionTable::admit(asio::ip::tcp::socket socket, std::weak_ptr<ConnectionOwner> owner) {
    asio::error_code error;
    const auto peer = socket.remote_endpoint(error);
    if (error) {
        return; // the peer left before we looked
    }
    if (!LanIP::isLanPeer(peer.address())) {
        m_log("rejected non-LAN peer " + std::string(LanIP::withoutScope(peer.address().to_string())));
        socket.close(error);
        return;
    }
    // Counted as a.b.c.d for a mapped IPv4 peer; a mapped 127.x.y.z is loopback like ::1.
    const asio::ip::address address = LanIP::unmapped(peer.address());
    std::string key = LanIP::peerText(address);
    if (!withinPeerCap(address, key)) {
        socket.close(error);
        return;
    }
    keepProbing(socket);
    auto connection = std::make_shared<Connection>(std::move(socket), std::move(owner), m_budget);
    m_live[connection.get()] = {connection, key};
    ++m_perPeer[key];
    if (!m_sweeping) {
        startSweep();
    }
    connection->start();
}

// A card uses one or two connections; a peer holding many more is broken or hostile, and
// without a cap it could take every descriptor and lock all cards out.
bool ConnectionTable::withinPeerCap(const asio::ip::address& address, const std::string& peer) {
    const auto open = m_perPeer.find(peer);
    if (open == m_perPeer.end() || open->second < m_limits.perPeer ||
        (address.is_loopback() && !m_limits.capLoopback)) {
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto [logged, first] = m_refusalLogged.try_emplace(peer, now);
    if (first || now - logged->second >= kRefusalLogGap) {
        logged->second = now;
        m_log("refused connection from " + peer + ": " + std::to_string(open->second) +
              " already open");
    }
    return false;
}

void ConnectionTable::closed(const Connection& connection) {
    const auto entry = m_live.find(&connection);
    if (entry == m_live.end()) {
        return;
    }
    if (const auto open = m_perPeer.find(entry->second.peer);
        open != m_perPeer.end() && --open->second == 0) {
        m_perPeer.erase(open);
    }
    m_live.erase(entry);
}

void ConnectionTable::closeAll() {
    m_sweep.cancel();
    m_sweeping = false;
    auto live = std::move(m_live);
    m_live.clear();
    m_perPeer.clear();
    for (auto& [key, entry] : live) {
        entry.connection->end(EndReason::serverStopping);
    }
}

// One timer looks at every connection, rather than a timer each: a request costs nothing
// more, and a stalled one ends between one and one and a quarter limits after its last byte
// (a slow head likewise after its first).
void ConnectionTable::startSweep() {
    m_sweeping = true;
    m_sweep.expires_after(std::max<std::chrono::milliseconds>(
        std::min(m_limits.stall, m_limits.headTime) / 4, std::chrono::milliseconds(10)));
    m_sweep.async_wait([weak = weak_from_this()](const asio::error_code& error) {
        if (auto self = weak.lock(); self && !error) {
            self->sweep();
        }
    });
}

void ConnectionTable::sweep() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::pair<std::shared_ptr<Connection>, EndReason>> overdue;
    for (const auto& [key, entry] : m_live) {
        if (entry.connection->stalledSince(now - m_limits.stall)) {
            overdue.emplace_back(entry.connection, EndReason::stalled);
        } else if (entry.connection->headBegunBefore(now - m_limits.headTime)) {
            overdue.emplace_back(entry.connection, EndReason::slowHead);
        }
    }
    for (const auto& [connection, why] : overdue) {
        connection->end(why);
    }
    std::erase_if(m_refusalLogged,
                  [&](const auto& entry) { return now - entry.second >= kRefusalLogGap; });
    startSweep();
}

} // namespace vorn
