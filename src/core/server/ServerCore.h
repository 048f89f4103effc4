#pragma once
// The share as it lives on the server's thread: what it serves from (ShareState), its
// listener, its connections, its rescans, its advertisement and the status it publishes,
// wired together. ShareServer is the thread-safe face of it and owns that thread.

#include "server/Connection.h"
#include "server/ConnectionLimits.h"
#include "server/PostGate.h"
#include "server/Rescanner.h"
#include "server/ShareState.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vorn {

class Advertiser;
class ConnectionTable;
class Listener;

class ServerCore : public ConnectionOwner, public std::enable_shared_from_this<ServerCore> {
public:
    using StatusFn = std::function<void(const ShareStatus&)>;

    /// Must be held by a shared pointer: connections hold it weakly.
    ServerCore(asio::io_context& io, ShareState state, bool advertise, std::string shareName);
    ~ServerCore() override;

    // Everything below runs on the server's thread.
    /// Starts accepting on an opened socket (see Listener::open) and advertises the share.
    void listen(asio::ip::tcp::acceptor acceptor);
    /// Closes the listener and every connection.
    void stopListening();
    /// Asks for a rescan; a new writable flag applies at once, a new folder with its scan.
    void rescan(std::optional<std::filesystem::path> folder, std::optional<bool> writable);
    /// Serves the owner's finished scan.
    void takeScan(std::shared_ptr<const LibraryScan> scan);
    /// A share made read-only refuses writes at once.
    void setWritable(bool writable) { m_state.writable = writable; }
    /// Runs `task` once the scans asked for so far are swapped in (at once when none is).
    void afterScans(std::function<void()> task);
    void setHub(std::optional<HubConfig> hub);
    void setOnStatus(StatusFn onStatus) { m_onStatus = std::move(onStatus); }
    void setLimits(const ConnectionLimits& limits);
    /// Starts, on the scans' worker, the conversions of the audio and pictures the served
    /// scan found pending; each one's end rescans its kind.
    void convertPending();
    /// Starts, changes or (with versions off) stops keeping versions of written images.
    void setVersions(VersionSettings settings);
    /// The versions of a library image, newest first.
    std::vector<Version> versions(const std::string& relPath) const;
    /// Brings a library image back to its version `id` between two of the card's writes.
    VersionRestore::Outcome restoreInPlace(const std::string& relPath, std::string_view id);
    /// Closes the way in for other threads; called before the server's thread ends.
    void closeGate() { m_gate->close(); }
    const ShareState& state() const { return m_state; }
    /// Appends a line to the log and publishes the status.
    void note(const std::string& line);
    /// Hands the status to its receiver again, changed or not.
    void resendStatus() { publish(); }

    std::optional<Answer> beforeBody(const Request& request, bool bodyInHand) override;
    Answer handle(const Request& request, std::string_view body, const std::string& peer) override;
    void closed(const Connection& connection, EndReason why) override;

private:
    /// A callback for another thread that asks, on the server's thread, for a rescan.
    std::function<void()> rescanLater(Rescanner::Reason reason);
    /// A callback for a converter's thread that logs a failed conversion on the server's
    /// thread and rescans its kind (`reason`), so the item is listed as failed.
    std::function<void(const std::string&)> failedLater(Rescanner::Reason reason);
    /// Conversions whose ends come back to this core.
    ConversionKick conversionKick();
    Rescanner::Settings scanSettings();
    std::shared_ptr<const LibraryScan> applyScan(unsigned reasons,
                                                 std::shared_ptr<const LibraryScan> scan);
    void listenerFailed(const std::string& reason);
    void startAdvertising();
    void publish();

    std::shared_ptr<PostGate> m_gate;
    ShareState m_state;
    bool m_advertise;
    std::string m_shareName;
    std::optional<std::filesystem::path> m_nextFolder; // a folder not yet swapped in
    std::shared_ptr<Listener> m_listener;
    std::shared_ptr<ConnectionTable> m_connections;
    std::unique_ptr<Advertiser> m_advertiser;
    StatusFn m_onStatus;
    std::shared_ptr<Rescanner> m_rescanner; // last: its worker ends before the rest goes
};

} // namespace vorn
