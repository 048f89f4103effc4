#pragma once
// The open connections of a share: which peers may open one (the LAN rule, a cap per
// peer address), the socket options every admitted one gets, the memory their bodies may
// hold, the end of requests that stall half-way or whose heads take too long, and closing
// them all when the share stops. Lives on the server's thread.

#include "server/Connection.h"
#include "server/ConnectionLimits.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

namespace vorn {

class ConnectionTable : public std::enable_shared_from_this<ConnectionTable> {
public:
    /// Gets the log lines of refused peers.
    using LogFn = std::function<void(const std::string& line)>;

    ConnectionTable(asio::io_context& io, LogFn log);

    void setLimits(const ConnectionLimits& limits);
    /// Starts a connection on `socket` that answers through `owner`, unless its peer is
    /// not on the LAN or already holds as many as the cap allows: the socket is then
    /// closed unanswered and a line logged.
    void admit(asio::ip::tcp::socket socket, std::weak_ptr<ConnectionOwner> owner);
    /// Forgets a connection that ended.
    void closed(const Connection& connection);
    /// Ends every connection and the sweep for stalled requests.
    void closeAll();
    std::size_t size() const { return m_live.size(); }

private:
    struct Entry {
        std::shared_ptr<Connection> connection;
        std::string peer;
    };
    bool withinPeerCap(const asio::ip::address& address, const std::string& peer);
    void startSweep();
    void sweep();

    LogFn m_log;
    ConnectionLimits m_limits;
    std::shared_ptr<BodyBudget> m_budget;
    asio::steady_timer m_sweep;
    bool m_sweeping = false;
    std::unordered_map<const Connection*, Entry> m_live;
    std::unordered_map<std::string, std::size_t> m_perPeer; // open connections by address
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> m_refusalLogged;
};

} // namespace vorn
