#include "server/ServerCore.h"

#include "platform/Advertiser.h"
#include "server/ConnectionTable.h"
#include "server/Listener.h"
#include "server/Routes.h"

namespace vorn {
namespace {

std::string categoryCount(std::size_t n) {
    return "your hub: " + std::to_string(n) + (n == 1 ? " category" : " categories");
}

} // namespace

// The listener, the connection table and the rescanner are the core's own and call back
// into it only while they exist, so their callbacks may hold the core by a plain pointer.
ServerCore::ServerCore(asio::io_context& io, ShareState state, bool advertise,
                       std::string shareName)
    : m_gate(std::make_shared<PostGate>(io)), m_state(std::move(state)), m_advertise(advertise),
      m_shareName(std::move(shareName)),
      m_listener(std::make_shared<Listener>(
          io,
          [this](asio::ip::tcp::socket socket) {
              m_connections->admit(std::move(socket), weak_from_this());
          },
          [this](const std::string& reason) { listenerFailed(reason); })),
      m_connections(
          std::make_shared<ConnectionTable>(io, [this](const std::string& line) { note(line); })),
      m_rescanner(std::make_shared<Rescanner>(
          m_gate, [this] { return scanSettings(); },
          [this](unsigned reasons, std::shared_ptr<const LibraryScan> scan) {
              return applyScan(reasons, std::move(scan));
          })) {
    for (const std::string& line : m_state.scan->notes) {
        m_state.log(line); // the first scan's, made before the core
    }
}

ServerCore::~ServerCore() = default;

void ServerCore::listen(asio::ip::tcp::acceptor acceptor) {
    m_state.status.running = true;
    m_state.status.port = m_listener->start(std::move(acceptor));
    m_state.status.lastError.reset();
    m_state.log("share up on port " + std::to_string(m_state.status.port));
    if (m_advertise) {
        startAdvertising();
    }
    publish();
}

void ServerCore::listenerFailed(const std::string& reason) {
    m_state.status.running = false;
    m_state.status.lastError = reason;
    note("listener failed: " + reason);
}

void ServerCore::stopListening() {
    m_listener->stop();
    m_advertiser.reset();
    m_connections->closeAll();
    m_state.status.running = false;
    publish();
}

void ServerCore::startAdvertising() {
    // Avahi reports from its own thread; the line is logged on ours.
    m_advertiser =
        std::make_unique<Advertiser>(m_shareName, m_state.status.port,
                                     [gate = m_gate, weak = weak_from_this()](std::string line) {
                                         gate->post([weak, line = std::move(line)] {
                                             if (auto self = weak.lock()) {
                                                 self->note(line);
                                             }
                                         });
                                     });
    m_advertiser->start();
}

void ServerCore::setLimits(const ConnectionLimits& limits) {
    m_connections->setLimits(limits);
}

std::function<void()> ServerCore::rescanLater(Rescanner::Reason reason) {
    return [gate = m_gate, weak = weak_from_this(), reason] {
        gate->post([weak, reason] {
            if (auto self = weak.lock()) {
                self->m_rescanner->request(reason);
            }
        });
    };
}

std::function<void(const std::string&)> ServerCore::failedLater(Rescanner::Reason reason) {
    return [gate = m_gate, weak = weak_from_this(), reason](const std::string& line) {
        gate->post([weak, reason, line] {
            if (auto self = weak.lock()) {
                self->note(line);
                self->m_rescanner->request(reason);
            }
        });
    };
}

ConversionKick ServerCore::conversionKick() {
    return {rescanLater(Rescanner::audioConverted), rescanLater(Rescanner::picturesConverted),
            failedLater(Rescanner::audioFailed), failedLater(Rescanner::picturesFailed)};
}

// Only the pending files go to the worker: a copy of the names, not of the catalogs.
void ServerCore::convertPending() {
    AudioCatalog audio;
    audio.pendingSources = m_state.audio().pendingSources;
    PictureCatalog pictures;
    pictures.pendingSources = m_state.pictures().pendingSources;
    m_rescanner->onWorker([kick = conversionKick(), converters = m_state.converters,
                           audio = std::move(audio), pictures = std::move(pictures)] {
        kick(converters, audio, pictures);
    });
}

void ServerCore::rescan(std::optional<std::filesystem::path> folder, std::optional<bool> writable) {
    if (folder) {
        m_nextFolder = std::move(*folder); // served with its catalogs, once they are in
    }
    if (writable) {
        m_state.writable = *writable; // a share made read-only refuses writes at once
    }
    m_rescanner->request(Rescanner::rescanAsked);
}

Rescanner::Settings ServerCore::scanSettings() {
    return {m_state.converters, m_nextFolder.value_or(m_state.folder()), m_state.writable,
            m_state.scan, conversionKick()};
}

std::shared_ptr<const LibraryScan> ServerCore::applyScan(unsigned reasons,
                                                         std::shared_ptr<const LibraryScan> scan) {
    if (m_nextFolder == scan->folder) {
        m_nextFolder.reset();
    }
    for (const std::string& line : m_state.newsOf(*scan)) {
        m_state.log(line);
    }
    std::shared_ptr<const LibraryScan> replaced = m_state.apply(std::move(scan));
    if ((reasons & Rescanner::rescanAsked) != 0) {
        m_state.log(m_state.rescanSummary());
    }
    if ((reasons & Rescanner::audioConverted) != 0) {
        m_state.log("transcode done: " + std::to_string(m_state.audio().tracks.size()) +
                    " track(s) ready");
    }
    if ((reasons & Rescanner::picturesConverted) != 0) {
        m_state.log("picture convert done: " + std::to_string(m_state.pictures().pictures.size()) +
                    " ready");
    }
    publish();
    return replaced;
}

void ServerCore::takeScan(std::shared_ptr<const LibraryScan> scan) {
    m_nextFolder.reset(); // the owner's scan is newer than any folder asked for before
    m_state.writable = scan->writable;
    for (const std::string& line : m_state.newsOf(*scan)) {
        m_state.log(line);
    }
    m_rescanner->dispose(m_state.apply(std::move(scan)));
    m_state.log(m_state.rescanSummary());
    publish();
}

void ServerCore::afterScans(std::function<void()> task) {
    m_rescanner->afterScans(std::move(task));
}

void ServerCore::setHub(std::optional<HubConfig> hub) {
    m_state.hubOverride = std::move(hub);
    note(categoryCount(m_state.effectiveHub().cats.size()));
}

std::optional<Answer> ServerCore::beforeBody(const Request& request, bool bodyInHand) {
    std::optional<Answer> answer = Routes::beforeBody(m_state, request, bodyInHand);
    if (answer) {
        publish();
    }
    return answer;
}

Answer ServerCore::handle(const Request& request, std::string_view body, const std::string& peer) {
    Answer answer = Routes::handle(m_state, request, body, peer);
    publish();
    return answer;
}

void ServerCore::setVersions(VersionSettings settings) {
    if (m_state.versions) {
        m_state.versions->setSettings(std::move(settings));
    } else {
        m_state.versions =
            std::make_unique<VersionKeeper>(std::move(settings), m_state.versionClock);
    }
}

std::vector<Version> ServerCore::versions(const std::string& relPath) const {
    return m_state.versions ? m_state.versions->versions(m_state.folder(), relPath)
                            : std::vector<Version>();
}

VersionRestore::Outcome ServerCore::restoreInPlace(const std::string& relPath,
                                                   std::string_view id) {
    if (!m_state.versions || m_state.versions->settings().store.empty()) {
        return VersionRestore::Outcome::refused("versions are off");
    }
    const std::optional<OpenFile> file = m_state.files.forWriting(relPath, m_state.folder());
    if (!file || !file->canWrite) {
        return VersionRestore::Outcome::refused(relPath +
                                                (file ? " cannot be written" : " is gone"));
    }
    std::vector<std::string> lines;
    const VersionRestore::Outcome outcome = m_state.versions->restoreInPlace(
        m_state.folder(), relPath, file->fd->get(),
        Journal::stampOf(file->size, file->modified.value_or(Date{}), file->inode), id, lines);
    for (const std::string& line : lines) {
        m_state.log(line);
    }
    if (!lines.empty()) {
        const Date now = std::chrono::system_clock::now();
        m_state.files.noteWritten(*file, now);
        m_state.status.lastWrite.set(relPath, now);
        m_state.status.versionsChanged.set(relPath, now);
    }
    publish();
    return outcome;
}

void ServerCore::closed(const Connection& connection, EndReason why) {
    m_state.status.connectionEnds.count(why);
    publish();
    m_connections->closed(connection);
}

void ServerCore::note(const std::string& line) {
    m_state.log(line);
    publish();
}

void ServerCore::publish() {
    if (m_onStatus) {
        m_onStatus(m_state.status);
    }
}

} // namespace vorn
