#pragma once
// The server's state and its listener, living on the server's thread. ShareServer is
// the thread-safe face of it; connections and callbacks hold it weakly.

#include "server/Connection.h"
#include "server/PostGate.h"
#include "server/ShareState.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace vorn {

class Advertiser;

class ShareEngine : public ConnectionOwner, public std::enable_shared_from_this<ShareEngine> {
public:
    using StatusFn = std::function<void(const ShareStatus&)>;

    ShareEngine(asio::io_context& io, ShareState state, bool advertise, std::string shareName);
    ~ShareEngine() override;

    /// Opens a listening socket on `port` on the caller's thread; throws when that fails.
    static asio::ip::tcp::acceptor openAcceptor(asio::io_context& io, std::uint16_t port);

    // Everything below runs on the server's thread.
    /// Starts accepting on an opened acceptor and advertises the share.
    void listen(asio::ip::tcp::acceptor acceptor);
    /// Closes the listener and every connection.
    void stopListening();
    void refresh(std::optional<std::filesystem::path> folder, std::optional<bool> writable);
    void setHub(std::optional<HubConfig> hub);
    void setOnStatus(StatusFn onStatus) { m_onStatus = std::move(onStatus); }
    /// Starts the conversions of pending audio and pictures; each finished one rescans.
    void kickTranscodes();
    /// Closes the way in for other threads; called before the server's thread ends.
    void closeGate() { m_gate->close(); }
    const ShareState& state() const { return m_state; }

    Answer handle(const Request& request, std::string_view body) override;
    void closed(const void* connection) override;

private:
    void doAccept();
    void onAccept(const asio::error_code& error, asio::ip::tcp::socket socket);
    void admit(asio::ip::tcp::socket socket);
    void listenerFailed(const std::string& reason);
    void startAdvertising();
    void publish();
    /// A callback for another thread that runs `step` on the server's thread, if the
    /// server is still there.
    std::function<void()> onServerThread(void (ShareEngine::*step)());
    /// A callback for a converter's thread that logs a failed conversion on the server's
    /// thread, after rescanning its kind with `rescan`.
    std::function<void(const std::string&)> onConversionFailed(void (ShareState::*rescan)());
    void audioReady();
    void picturesReady();

    asio::io_context& m_io;
    std::shared_ptr<PostGate> m_gate;
    ShareState m_state;
    bool m_advertise;
    std::string m_shareName;
    std::optional<asio::ip::tcp::acceptor> m_acceptor;
    std::uint64_t m_generation = 0; // which listener an accept completion belongs to
    asio::steady_timer m_retry;
    std::unordered_map<const void*, std::shared_ptr<Connection>> m_live;
    std::unique_ptr<Advertiser> m_advertiser;
    StatusFn m_onStatus;
};

} // namespace vorn
