#pragma once
// Announces the share on the local network with DNS-SD over mDNS, through the Avahi
// daemon, so the card finds it without anyone typing an address.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct AvahiClient;
struct AvahiEntryGroup;
struct AvahiThreadedPoll;
struct AvahiTimeout;

namespace vorn {

/// Publishes one "_vorn-share._tcp" service (TXT "path=/") on every interface and
/// protocol. Avahi runs on its own thread, so no call here waits for the network; without
/// a reachable daemon the share goes on unadvertised and the log says so once.
class Advertiser {
public:
    /// Receives one short lower-case line; called on Avahi's thread, must not throw or
    /// call back into this object.
    using LogFn = std::function<void(std::string line)>;

    /// The service name to ask for, the TCP port the share listens on, the log sink.
    Advertiser(std::string name, std::uint16_t port, LogFn log);
    /// Withdraws the service and joins Avahi's thread.
    ~Advertiser();
    Advertiser(const Advertiser&) = delete;
    Advertiser& operator=(const Advertiser&) = delete;

    /// Begins advertising in the background; never throws, reports failures through the log.
    void start();
    /// Withdraws the service and stops Avahi's thread; harmless when not started.
    void stop();
    /// The name in use, which differs from the requested one after a collision rename.
    std::string publishedName() const;

private:
    // Avahi's C callbacks, defined beside the implementation so this header needs no
    // Avahi types beyond the opaque handles.
    friend struct AdvertiserCallbacks;

    void connect();
    void handleClientState(AvahiClient* client, int state);
    void handleGroupState(AvahiEntryGroup* group, int state);
    void reconnectAfterDisconnect(AvahiClient* client);
    void addService(AvahiClient* client);
    bool tryAdd();
    void takeAlternativeName();
    void reportNoDaemon(int error);
    void reportFailure(int error);
    void log(std::string line) const;

    const std::uint16_t m_port;
    const LogFn m_log;

    // Owner's thread only; the poll thread runs only between start() and stop().
    AvahiThreadedPoll* m_poll = nullptr;
    AvahiTimeout* m_startTimer = nullptr;

    // Touched only on the poll thread while it runs, and by stop() after it has ended.
    AvahiClient* m_client = nullptr;
    AvahiEntryGroup* m_group = nullptr;
    bool m_reportedUnadvertised = false;

    mutable std::mutex m_nameMutex;
    std::string m_name; // guarded by m_nameMutex
};

} // namespace vorn
