#pragma once
// The server's state and its listener, living on the server's thread. ShareServer is
// the thread-safe face of it; connections and callbacks hold it weakly.

#include "platform/SerialQueue.h"
#include "server/Connection.h"
#include "server/ConnectionLimits.h"
#include "server/PostGate.h"
#include "server/ShareState.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <deque>
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
    /// Asks for a rescan; a new writable flag applies at once, a new folder with its scan.
    void refresh(std::optional<std::filesystem::path> folder, std::optional<bool> writable);
    /// Runs `task` once the scans asked for so far are swapped in (at once when none is).
    void afterScans(std::function<void()> task);
    void setHub(std::optional<HubConfig> hub);
    void setOnStatus(StatusFn onStatus) { m_onStatus = std::move(onStatus); }
    /// Hands the status to the receiver again.
    void republish() { publish(); }
    void setLimits(const ConnectionLimits& limits);
    /// Starts the conversions of pending audio and pictures; each finished one rescans.
    void kickTranscodes();
    /// Closes the way in for other threads; called before the server's thread ends.
    void closeGate() { m_gate->close(); }
    const ShareState& state() const { return m_state; }

    std::optional<Answer> beforeBody(const Request& request) override;
    Answer handle(const Request& request, std::string_view body, const std::string& peer) override;
    void closed(const void* connection) override;

private:
    /// Why a scan is wanted; each reason logs its own line once the scan is in.
    enum ScanReason : unsigned {
        refreshAsked = 1,
        audioConverted = 2,
        picturesConverted = 4,
        audioFailed = 8, // the failed item moves from pending to failed; no line of its own
        picturesFailed = 16,
    };
    struct LiveConnection {
        std::shared_ptr<Connection> connection;
        std::string peer;
    };

    void doAccept();
    void onAccept(const asio::error_code& error, asio::ip::tcp::socket socket);
    void admit(asio::ip::tcp::socket socket);
    bool withinPeerCap(const asio::ip::address& address, const std::string& peer);
    void startSweep();
    void sweep();
    void requestScan(unsigned reasons);
    void startScan();
    void scanned(unsigned reasons, LibraryScan scan);
    void applyScan(unsigned reasons, LibraryScan scan);
    void listenerFailed(const std::string& reason);
    void startAdvertising();
    void publish();
    /// A callback for another thread that runs `step` on the server's thread, if the
    /// server is still there.
    std::function<void()> onServerThread(void (ShareEngine::*step)());
    /// A callback for a converter's thread that logs a failed conversion on the server's
    /// thread and rescans its kind (`reason`), so the item is listed as failed.
    std::function<void(const std::string&)> onConversionFailed(ScanReason reason);
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
    asio::steady_timer m_sweep;
    ConnectionLimits m_limits;
    std::unordered_map<const void*, LiveConnection> m_live;
    std::unordered_map<std::string, std::size_t> m_perPeer; // open connections by peer address
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> m_refusalLogged;
    std::unique_ptr<Advertiser> m_advertiser;
    StatusFn m_onStatus;

    // Scans: at most one runs; what is asked meanwhile is gathered into the next one.
    bool m_scanning = false;
    unsigned m_wantedReasons = 0;
    std::optional<std::filesystem::path> m_nextFolder; // a folder not yet swapped in
    std::uint64_t m_scansAsked = 0, m_scanStarted = 0, m_scanApplied = 0;
    std::deque<std::pair<std::uint64_t, std::function<void()>>> m_afterScans;
    SerialQueue m_scanner; // last: its thread ends before anything else goes
};

} // namespace vorn
