#include "platform/Advertiser.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <utility>

namespace vorn {

namespace {

constexpr const char* kServiceType = "_vorn-share._tcp";

// Each rename asks Avahi for "name #2", "#3"... A daemon that keeps refusing after this
// many names is not going to accept the next one either.
constexpr int kMaxLocalRenames = 20;

} // namespace

// Trampolines from Avahi's C callbacks to the object; they run on the poll thread with
// the poll's lock held, which is what makes the members they touch safe.
struct AdvertiserCallbacks {
    static void onStart(AvahiTimeout* timer, void* self) {
        const AvahiPoll* api = avahi_threaded_poll_get(static_cast<Advertiser*>(self)->m_poll);
        api->timeout_update(timer, nullptr); // one-shot
        static_cast<Advertiser*>(self)->connect();
    }
    static void onClient(AvahiClient* client, AvahiClientState state, void* self) {
        static_cast<Advertiser*>(self)->handleClientState(client, state);
    }
    static void onGroup(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
        static_cast<Advertiser*>(self)->handleGroupState(group, state);
    }
};

Advertiser::Advertiser(std::string name, std::uint16_t port, LogFn log)
    : m_port(port), m_log(std::move(log)), m_name(std::move(name)) {}

Advertiser::~Advertiser() {
    stop();
}

void Advertiser::start() {
    if (m_poll != nullptr) {
        return;
    }
    m_poll = avahi_threaded_poll_new();
    if (m_poll == nullptr) {
        reportFailure(AVAHI_ERR_NO_MEMORY);
        return;
    }
    // The client is created on the poll thread: connecting makes blocking D-Bus calls,
    // and the owner may be a server loop or a window that must not stall on them.
    const AvahiPoll* api = avahi_threaded_poll_get(m_poll);
    const struct timeval now {};
    m_startTimer = api->timeout_new(api, &now, &AdvertiserCallbacks::onStart, this);
    if (m_startTimer == nullptr || avahi_threaded_poll_start(m_poll) < 0) {
        reportFailure(AVAHI_ERR_NO_MEMORY);
        stop();
    }
}

void Advertiser::stop() {
    if (m_poll == nullptr) {
        return;
    }
    // Once the thread has ended nothing else touches the Avahi objects, so they can be
    // freed here. Freeing the group first withdraws the service before the connection
    // closes, so the goodbye goes out now rather than when the daemon notices.
    avahi_threaded_poll_stop(m_poll);
    if (m_group != nullptr) {
        avahi_entry_group_free(m_group);
        m_group = nullptr;
    }
    if (m_client != nullptr) {
        avahi_client_free(m_client);
        m_client = nullptr;
    }
    if (m_startTimer != nullptr) {
        avahi_threaded_poll_get(m_poll)->timeout_free(m_startTimer);
        m_startTimer = nullptr;
    }
    avahi_threaded_poll_free(m_poll);
    m_poll = nullptr;
    m_reportedUnadvertised = false;
}

std::string Advertiser::publishedName() const {
    std::lock_guard lock(m_nameMutex);
    return m_name;
}

void Advertiser::connect() {
    // NO_FAIL keeps the client alive while the daemon is absent, so a daemon that starts
    // later is joined and the service published then.
    int error = AVAHI_OK;
    m_client = avahi_client_new(avahi_threaded_poll_get(m_poll), AVAHI_CLIENT_NO_FAIL,
                                &AdvertiserCallbacks::onClient, this, &error);
    if (m_client == nullptr) {
        reportNoDaemon(error);
    }
}

void Advertiser::handleClientState(AvahiClient* client, int state) {
    switch (static_cast<AvahiClientState>(state)) {
    case AVAHI_CLIENT_S_RUNNING:
        m_reportedUnadvertised = false;
        addService(client);
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The daemon is (re)registering its host name and has dropped our records; the
        // group is filled again when it reports S_RUNNING.
        if (m_group != nullptr) {
            avahi_entry_group_reset(m_group);
        }
        break;
    case AVAHI_CLIENT_CONNECTING:
        reportNoDaemon(AVAHI_ERR_NO_DAEMON);
        break;
    case AVAHI_CLIENT_FAILURE:
        if (avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED) {
            reconnectAfterDisconnect(client);
        } else {
            reportNoDaemon(avahi_client_errno(client));
        }
        break;
    }
}

void Advertiser::reconnectAfterDisconnect(AvahiClient* client) {
    // The daemon went away (usually a restart). A disconnected client cannot be revived,
    // so a new one waits for the daemon to return.
    avahi_client_free(client);
    m_client = nullptr;
    m_group = nullptr; // freed with its client
    connect();
}

void Advertiser::handleGroupState(AvahiEntryGroup* group, int state) {
    switch (static_cast<AvahiEntryGroupState>(state)) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        log("advertised as " + publishedName() + " (" + kServiceType + ")");
        break;
    case AVAHI_ENTRY_GROUP_COLLISION:
        // Another host on the network owns the name.
        takeAlternativeName();
        avahi_entry_group_reset(group);
        addService(avahi_entry_group_get_client(group));
        break;
    case AVAHI_ENTRY_GROUP_FAILURE:
        reportFailure(avahi_client_errno(avahi_entry_group_get_client(group)));
        break;
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
}

void Advertiser::addService(AvahiClient* client) {
    if (m_group == nullptr) {
        m_group = avahi_entry_group_new(client, &AdvertiserCallbacks::onGroup, this);
        if (m_group == nullptr) {
            reportFailure(avahi_client_errno(client));
            return;
        }
    }
    if (!avahi_entry_group_is_empty(m_group)) {
        return;
    }
    // A local collision (the same daemon already publishes the name, say a second share
    // on this machine) is refused right away instead of through the group's state.
    for (int attempt = 0; attempt <= kMaxLocalRenames; ++attempt) {
        if (tryAdd()) {
            return;
        }
        takeAlternativeName();
    }
    reportFailure(AVAHI_ERR_COLLISION);
}

bool Advertiser::tryAdd() {
    const std::string name = publishedName();
    int error = avahi_entry_group_add_service(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                              AvahiPublishFlags(0), name.c_str(), kServiceType,
                                              nullptr, nullptr, m_port, "path=/", nullptr);
    if (error == AVAHI_ERR_COLLISION) {
        return false;
    }
    if (error == AVAHI_OK) {
        error = avahi_entry_group_commit(m_group);
    }
    if (error != AVAHI_OK) {
        reportFailure(error);
    }
    return true;
}

void Advertiser::takeAlternativeName() {
    std::string next;
    {
        std::lock_guard lock(m_nameMutex);
        char* alternative = avahi_alternative_service_name(m_name.c_str());
        m_name = alternative;
        avahi_free(alternative);
        next = m_name;
    }
    log("advertised as " + next);
}

void Advertiser::reportNoDaemon(int error) {
    // One line per outage: the share keeps serving, and the log should not fill up
    // while the client waits for a daemon.
    if (m_reportedUnadvertised) {
        return;
    }
    m_reportedUnadvertised = true;
    log(std::string("share not advertised: no Avahi daemon (") + avahi_strerror(error) + ")");
}

void Advertiser::reportFailure(int error) {
    if (m_reportedUnadvertised) {
        return;
    }
    m_reportedUnadvertised = true;
    log(std::string("share not advertised: ") + avahi_strerror(error));
}

void Advertiser::log(std::string line) const {
    if (m_log) {
        m_log(std::move(line));
    }
}

} // namespace vorn
