#pragma once
// The share's listening socket: accepts connections one after another, waits a moment and
// tries again after a passing shortage (descriptors, memory), and reports the failure
// that ends it. Lives on the server's thread.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vorn {

class Listener : public std::enable_shared_from_this<Listener> {
public:
    using AcceptFn = std::function<void(asio::ip::tcp::socket socket)>;
    using FailFn = std::function<void(const std::string& reason)>;

    /// `onAccept` gets every accepted socket; `onFailed` the reason a listener stopped for
    /// good. Both run on the server's thread.
    Listener(asio::io_context& io, AcceptFn onAccept, FailFn onFailed);

    /// Opens a socket listening on `port` (0: any free one) on the caller's thread, for
    /// IPv6 and IPv4 peers alike; throws std::system_error when that fails.
    static asio::ip::tcp::acceptor open(asio::io_context& io, std::uint16_t port);

    /// Starts accepting on an opened socket, replacing any earlier one; the port it
    /// listens on (0 when that cannot be read).
    std::uint16_t start(asio::ip::tcp::acceptor acceptor);
    /// Closes the socket; an accept under way reports nothing.
    void stop();

private:
    void doAccept();
    void onAccept(const asio::error_code& error, asio::ip::tcp::socket socket);

    AcceptFn m_onAccept;
    FailFn m_onFailed;
    std::optional<asio::ip::tcp::acceptor> m_acceptor;
    std::uint64_t m_generation = 0; // which socket an accept completion belongs to
    asio::steady_timer m_retry;
};

} // namespace vorn
