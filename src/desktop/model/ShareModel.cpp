#include "ShareModel.h"

#include "FileRevealer.h"
#include "FolderChooser.h"
#include "LibraryScanner.h"
#include "LibraryTableModel.h"
#include "QtText.h"
#include "RunningShare.h"
#include "audio/AudioTranscoder.h"
#include "library/ShareSettings.h"
#include "pictures/PictureTranscoder.h"
#include "platform/HostName.h"
#include "platform/Preferences.h"
#include "server/LanIP.h"
#include "server/ShareServer.h"
#include "versions/DatedCopy.h"

#include <QClipboard>
#include <QGuiApplication>
#include <algorithm>
#include <system_error>
#include <utility>

namespace vorn {
namespace {

constexpr int kTickMs = 1000;
// The tick keeps moving `now` while a read or write this recent may still light a row.
constexpr std::chrono::seconds kTickCutoff{3};

// Whether `date` lies less than `span` before `now`.
bool within(const std::optional<Date>& date, Date now, std::chrono::seconds span) {
    return date && now - *date < span;
}

bool anyLaterThan(const ItemDates& dates, Date cutoff) {
    for (const auto& [key, date] : dates.entries()) {
        if (date > cutoff) {
            return true;
        }
    }
    return false;
}

// The message of a port that cannot be listened on, as the window shows it.
std::string listenError(std::uint16_t port, const std::system_error& e) {
    return "Cannot listen on port " + std::to_string(port) + ": " + e.code().message();
}

} // namespace

ShareModel::ShareModel(Preferences& preferences, AudioTranscoder& audioTranscoder,
                       PictureTranscoder& pictureTranscoder, QObject* parent)
    : QObject(parent), m_preferences(preferences), m_audioTranscoder(audioTranscoder),
      m_pictureTranscoder(pictureTranscoder),
      m_clock([] { return std::chrono::system_clock::now(); }),
      m_timer([this](int ms, std::function<void()> then) {
          QTimer::singleShot(ms, this, std::move(then));
      }),
      m_look(new Look(UITheme::eightBit, this)), m_worker(new ModelWorker(this)),
      m_library(
          new LibraryModel(preferences, Converters{audioTranscoder, pictureTranscoder}, this)),
      m_versions(new VersionsModel(
          *m_worker, preferences, *m_library, [this] { return server(); }, this)),
      m_tools(new ToolsModel(*m_worker, audioTranscoder, pictureTranscoder, preferences, *m_library,
                             this)),
      m_now(m_clock()) {
    readPreferences();
    m_library->setActivityFunction([this](const TableRow& row) { return activity(row); });
    connectParts();
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &ShareModel::tick);
    // The first scan below may run before the tools are known: the probe scans again.
    m_tools->probe(true);
    m_library->setFolder(m_folderPath);
    if (!m_folderPath.empty()) {
        m_library->rescan();
    }
}

void ShareModel::connectParts() {
    connect(m_worker, &ModelWorker::busyChanged, this, &ShareModel::workChanged);
    connect(m_library, &LibraryModel::shareScanned, this,
            [this](std::shared_ptr<const LibraryScan> scan) {
                if (m_starting) {
                    launch(std::move(scan));
                } else if (m_share) {
                    m_share->apply(std::move(scan));
                }
            });
    connect(m_library, &LibraryModel::categoriesEdited, this, [this] {
        if (m_share) {
            m_share->setHub(m_library->hubOverride());
        }
    });
    connect(m_library, &LibraryModel::notStored, this, [this] { noteStored(false); });
    connect(m_tools, &ToolsModel::notStored, this, [this] { noteStored(false); });
    connect(m_versions, &VersionsModel::noticed, this, &ShareModel::setLastError);
}

ShareModel::~ShareModel() {
    delete m_worker; // its running work may use the share and the transcoders: it ends first
    m_share.reset(); // the server's and the watcher's threads end before the model goes
    // The parts use what the model holds: they go first, not after the members as Qt would.
    delete m_tools;
    delete m_versions;
    delete m_library;
}

void ShareModel::readPreferences() {
    const ShareSettings settings = ShareSettings::load(m_preferences);
    m_folderPath = settings.folder.empty() ? "" : ShareSettings::libraryPath(settings.folder);
    m_writable = settings.writable;
    m_advertise = settings.advertise;
    m_port = settings.port;
    m_look->set(uiThemeFromStored(m_preferences.string("theme")));
    m_library->setLook(m_look->uiTheme());
    m_library->setWritable(m_writable);
}

void ShareModel::setFolderChooser(std::unique_ptr<FolderChooser> chooser) {
    m_chooser = std::move(chooser);
}

void ShareModel::setFileRevealer(std::unique_ptr<FileRevealer> revealer) {
    m_revealer = std::move(revealer);
}

void ShareModel::setClock(std::function<Date()> clock) {
    m_clock = std::move(clock);
}

void ShareModel::setTimer(Timer timer) {
    m_timer = std::move(timer);
}

// ---- Settings ----

std::optional<std::filesystem::path> ShareModel::libraryFolder() const {
    return m_library->folderPath();
}

void ShareModel::setFolderPath(const std::string& path) {
    m_folderPath = path.empty() ? "" : ShareSettings::libraryPath(path);
    noteStored(m_preferences.set("folder", m_folderPath));
    emit folderChanged();
    m_library->setFolder(m_folderPath);
}

void ShareModel::setWritable(bool on) {
    if (on == m_writable) {
        return;
    }
    m_writable = on;
    noteStored(m_preferences.set("writable", on));
    emit settingsChanged();
    if (m_share) {
        m_share->setWritable(on);
    }
    m_library->setWritable(on);
    m_library->rescan(); // the catalogs' images carry the flag too
}

void ShareModel::setAdvertise(bool on) {
    if (on != m_advertise) {
        m_advertise = on;
        noteStored(m_preferences.set("advertise", on));
        emit settingsChanged();
    }
}

void ShareModel::setPort(std::uint16_t port) {
    if (port != m_port && ShareSettings::portRange.contains(port)) {
        m_port = port;
        noteStored(m_preferences.set("port", std::int64_t(port)));
        emit settingsChanged();
    }
}

void ShareModel::setUITheme(UITheme look) {
    // The look chosen is stored even when it is the one shown: it may be the default,
    // which nothing has stored yet.
    noteStored(m_preferences.set("theme", storedName(look)));
    if (look == uiTheme()) {
        return;
    }
    m_look->set(look);
    m_library->setLook(look);
}

double ShareModel::sidebarWidth() const {
    return m_preferences.number("sidebarWidth").value_or(200);
}

void ShareModel::setSidebarWidth(double width) {
    noteStored(m_preferences.set("sidebarWidth", width));
}

std::string ShareModel::shareURL() const {
    const std::uint16_t port = m_share ? m_share->port() : m_port;
    return "http://" + LanIP::primary() + ":" + std::to_string(port) + "/";
}

std::string ShareModel::shareName() {
    return "Vorn Images on " + computerName();
}

// ---- Sharing ----

void ShareModel::start() {
    const std::optional<std::filesystem::path> folder = libraryFolder();
    if (!folder) {
        return;
    }
    stop();
    // The share serves the scan that the table lists: the library is walked once, on the
    // scanner's worker, and the share starts when that scan is in (launch).
    m_starting = true;
    m_library->setServing(true);
    emit workChanged();
    m_library->rescan();
}

void ShareModel::launch(std::shared_ptr<const LibraryScan> scan) {
    m_starting = false;
    try {
        m_share = std::make_unique<RunningShare>(
            RunningShare::Config{Converters{m_audioTranscoder, m_pictureTranscoder}, m_advertise,
                                 shareName(), m_library->hubOverride(),
                                 VersionSettings::load(m_preferences)},
            std::move(scan), m_port);
        connect(m_share.get(), &RunningShare::statusArrived, this, &ShareModel::takeStatus);
        connect(m_share.get(), &RunningShare::libraryChanged, m_library, &LibraryModel::rescan);
        m_tick.start();
        setLastError(std::nullopt); // the notice of the person's last action is answered
    } catch (const std::system_error& e) {
        m_library->setServing(false);
        setLastError(listenError(m_port, e));
    }
    emit workChanged();
}

void ShareModel::stop() {
    if (m_starting) {
        m_starting = false;
        emit workChanged();
    }
    if (m_share) {
        // Once stopped, the server still holds the scan it served and its thread: both
        // end on the scanner's worker, where its last hold is let go.
        std::shared_ptr<const void> server = m_share->server();
        m_share.reset();
        m_library->dispose(std::move(server));
    }
    m_library->setServing(false);
    m_tick.stop();
    setErrors(m_notice, std::nullopt); // the share's error went with it
    setSharing(false);
    setActivity(ItemDates(), ItemDates());
}

void ShareModel::chooseFolder() {
    if (!m_chooser) {
        return;
    }
    if (const auto chosen = m_chooser->chooseFolder(m_folderPath)) {
        openFolder(chosen->string());
    }
}

void ShareModel::openFolder(const std::string& path) {
    // A share just started has not reported yet; it is restarted all the same.
    const bool wasSharing = m_sharing || m_share != nullptr || m_starting;
    if (wasSharing) {
        stop();
    }
    setFolderPath(path);
    m_library->rescan();
    if (wasSharing) {
        start();
    }
}

void ShareModel::takeStatus(const ShareStatus& status) {
    setSharing(status.running);
    if (status.requests != m_requests || status.bytesServed != m_bytesServed) {
        m_requests = status.requests;
        m_bytesServed = status.bytesServed;
        emit trafficChanged();
    }
    if (status.recentLines.appended() != m_logAppended) {
        m_logAppended = status.recentLines.appended();
        m_logLines = status.recentLines.last(shownLogLines);
        emit logChanged();
    }
    m_versions->takeChanged(status.versionsChanged);
    setErrors(m_notice, status.lastError);
    setActivity(status.lastRead, status.lastWrite);
}

void ShareModel::setSharing(bool on) {
    if (on != m_sharing) {
        m_sharing = on;
        emit sharingChanged();
    }
}

// A setting the file did not take still applies until the program ends; the user is told.
void ShareModel::noteStored(bool stored) {
    if (!stored) {
        setLastError("Settings not saved: " + m_preferences.problem().value_or(
                                                  "cannot write " + m_preferences.file().string()));
    }
}

void ShareModel::setLastError(std::optional<std::string> notice) {
    setErrors(std::move(notice), m_serverError);
}

void ShareModel::setErrors(std::optional<std::string> notice,
                           std::optional<std::string> serverError) {
    const std::optional<std::string> before = lastError();
    m_notice = std::move(notice);
    m_serverError = std::move(serverError);
    if (lastError() != before) {
        emit lastErrorChanged();
    }
}

// ---- Activity lights ----

void ShareModel::setActivity(ItemDates lastRead, ItemDates lastWrite) {
    const bool changed = !(lastRead == m_lastRead && lastWrite == m_lastWrite);
    m_lastRead = std::move(lastRead);
    m_lastWrite = std::move(lastWrite);
    m_now = m_clock();
    if (changed || mayBeLit(m_now - kTickCutoff)) {
        redrawLights();
    }
}

void ShareModel::setNow(Date now) {
    m_now = now;
    redrawLights();
}

bool ShareModel::mayBeLit(Date cutoff) const {
    return anyLaterThan(m_lastRead, cutoff) || anyLaterThan(m_lastWrite, cutoff);
}

void ShareModel::redrawLights() {
    emit activityChanged();
    m_library->redrawLights();
}

void ShareModel::tick() {
    const Date current = m_clock();
    if (mayBeLit(current - kTickCutoff)) {
        m_now = current;
        redrawLights();
    }
}

Activity ShareModel::activityForDisk(const std::string& relPath) const {
    if (within(m_lastWrite.find(relPath), m_now, lightTime)) {
        return Activity::write;
    }
    return within(m_lastRead.find(relPath), m_now, lightTime) ? Activity::read : Activity::none;
}

Activity ShareModel::activityForAudio(const std::string& fileName) const {
    return within(m_lastRead.find("audio/" + fileName), m_now, lightTime) ? Activity::read
                                                                          : Activity::none;
}

Activity ShareModel::activityForPicture(const std::string& fileName) const {
    return within(m_lastRead.find("pictures/" + fileName), m_now, lightTime) ? Activity::read
                                                                             : Activity::none;
}

Activity ShareModel::activity(const TableRow& row) const {
    if (const DiskImage* image = row.image()) {
        return activityForDisk(image->relPath());
    }
    if (const AudioTrack* track = row.track()) {
        return activityForAudio(track->fileName);
    }
    if (const StillPic* picture = row.picture()) {
        return activityForPicture(picture->fileName);
    }
    return Activity::none;
}

// ---- Work ----

bool ShareModel::working() const {
    return m_library->scanning() || m_starting || m_worker->busy();
}

// ---- Sheets ----

void ShareModel::setShowCategories(bool on) {
    if (on != m_showCategories) {
        m_showCategories = on;
        emit sheetsChanged();
    }
}

void ShareModel::setPreviewPic(std::optional<StillPic> picture) {
    if (picture != m_previewPic) {
        m_previewPic = std::move(picture);
        emit sheetsChanged();
    }
}

// ---- Clipboard ----

void ShareModel::copyURL() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(qText(shareURL()));
    m_copiedPulse = true;
    emit copiedChanged();
    // A second press within the time ends with the first press's reset.
    m_timer(copiedLabelMs, [this] {
        m_copiedPulse = false;
        emit copiedChanged();
    });
}

void ShareModel::copyCommand(const std::string& command) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(qText(command));
    m_copiedCommand = command;
    emit copiedChanged();
    // A newer copy keeps its own label for its full time.
    m_timer(copiedLabelMs, [this, command] {
        if (m_copiedCommand == command) {
            m_copiedCommand.clear();
            emit copiedChanged();
        }
    });
}

// ---- Files ----

namespace {

struct CopyOutcome {
    std::filesystem::path copy;
    std::error_code error;
};

} // namespace

// A whole image is copied and flushed to disk: up to 32 MB, on the worker.
void ShareModel::snapshot(const DiskImage& image) {
    m_worker->run<CopyOutcome>(
        ModelWorker::Job::copy,
        [file = image.path, clock = m_clock] {
            CopyOutcome outcome;
            outcome.copy = DatedCopy::make(file, clock, outcome.error);
            return outcome;
        },
        [this](CopyOutcome outcome) {
            if (outcome.copy.empty()) {
                setLastError("Snapshot failed: " + outcome.error.message());
                emit snapshotEnded(std::nullopt);
                return;
            }
            setLastError(std::nullopt);
            m_library->rescan();
            emit snapshotEnded(outcome.copy);
        });
}

std::shared_ptr<ShareServer> ShareModel::server() const {
    return m_share ? m_share->server() : nullptr;
}

std::optional<std::filesystem::path> ShareModel::fileOf(const TableRow& row) {
    if (const DiskImage* image = row.image()) {
        return image->path;
    }
    if (const AudioTrack* track = row.track()) {
        return track->sourcePath;
    }
    if (const StillPic* picture = row.picture()) {
        return picture->sourcePath;
    }
    return std::nullopt;
}

void ShareModel::reveal(const std::filesystem::path& file) {
    if (m_revealer) {
        m_revealer->reveal(file);
    }
}

} // namespace vorn
