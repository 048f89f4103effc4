#include "ShareModel.h"

#include "QtText.h"
#include "versions/DatedCopy.h"
#include "FileRevealer.h"
#include "FolderChooser.h"
#include "ImageVersions.h"
#include "LibraryScanner.h"
#include "LibraryTableModel.h"
#include "RunningShare.h"
#include "server/ShareServer.h"
#include "audio/AudioTranscoder.h"
#include "library/CategoryEdits.h"
#include "library/ShareSettings.h"
#include "pictures/PictureTranscoder.h"
#include "platform/HostName.h"
#include "platform/Preferences.h"
#include "server/LanIP.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
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
      m_clock([] { return std::chrono::system_clock::now(); }), m_hub(preferences),
      m_scanner(new LibraryScanner(Converters{audioTranscoder, pictureTranscoder}, this)),
      m_tableModel(new LibraryTableModel(m_table, this)), m_worker(new ModelWorker(this)),
      m_now(m_clock()) {
    m_table.setContents(std::make_shared<const LibraryContents>());
    readPreferences();
    m_tableModel->setActivityFunction([this](const TableRow& row) { return activity(row); });
    m_tableModel->refresh();
    m_scanner->setOnConverted(listConversionsOnGuiThread());
    connect(m_scanner, &LibraryScanner::scanned, this, &ShareModel::takeScan);
    connect(m_worker, &ModelWorker::busyChanged, this, &ShareModel::workChanged);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &ShareModel::tick);
    // The first scan below may run before the tools are known: the probe scans again.
    probeTools(false, true);
    loadHub();
    if (!m_folderPath.empty()) {
        rescan();
    }
}

ShareModel::~ShareModel() {
    delete m_worker; // its running work may use the share and the transcoders: it ends first
    m_share.reset(); // the server's and the watcher's threads end before the model goes
    // The children use the members: they go first, not after the members as Qt would.
    delete m_scanner;
    delete m_tableModel;
}

void ShareModel::readPreferences() {
    const ShareSettings settings = ShareSettings::load(m_preferences);
    m_folderPath = settings.folder.empty() ? "" : ShareSettings::libraryPath(settings.folder);
    m_writable = settings.writable;
    m_advertise = settings.advertise;
    m_port = settings.port;
    m_table.setLook(uiThemeFromStored(m_preferences.string("theme")));
    m_scanner->setLook(m_table.look());
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

// ---- Settings ----

std::optional<std::filesystem::path> ShareModel::folderURL() const {
    if (m_folderPath.empty()) {
        return std::nullopt;
    }
    return std::filesystem::path(m_folderPath);
}

void ShareModel::setFolderPath(const std::string& path) {
    m_folderPath = path.empty() ? "" : ShareSettings::libraryPath(path);
    noteStored(m_preferences.set("folder", m_folderPath));
    emit folderChanged();
    setSelectedFolder(std::nullopt);
    // Each library keeps its own categories: edits from now on belong to this one.
    loadHub();
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
    rescan(); // the catalogs' images carry the flag too
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
    m_table.setLook(look);
    m_scanner->setLook(look);
    emit lookChanged();
    autoLayoutColumns();
    m_tableModel->refresh(); // the header titles change case
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
    const std::optional<std::filesystem::path> folder = folderURL();
    if (!folder) {
        return;
    }
    stop();
    // The share serves the scan that the table lists: the library is walked once, on the
    // scanner's worker, and the share starts when that scan is in (launch).
    m_starting = true;
    emit workChanged();
    rescan();
}

void ShareModel::launch(LibraryScan scan) {
    m_starting = false;
    try {
        m_share = std::make_unique<RunningShare>(
            RunningShare::Config{converters(), m_advertise, shareName(), m_hub.hubOverride(),
                                 VersionSettings::load(m_preferences)},
            std::move(scan), m_port);
        connect(m_share.get(), &RunningShare::statusArrived, this, &ShareModel::takeStatus);
        connect(m_share.get(), &RunningShare::libraryChanged, this, &ShareModel::rescan);
        m_tick.start();
        setLastError(std::nullopt); // the notice of the person's last action is answered
    } catch (const std::system_error& e) {
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
        m_scanner->dispose(std::move(server));
    }
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
    rescan();
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
    takeVersionsChanged(status.versionsChanged);
    setErrors(m_notice, status.lastError);
    setActivity(status.lastRead, status.lastWrite);
}

// The card began a session of writes (a version kept), or a restore kept one: an open
// versions sheet lists its image again.
void ShareModel::takeVersionsChanged(const ItemDates& changed) {
    if (changed == m_versionsChanged) {
        return;
    }
    const bool listed = m_versionsImage && changed.find(m_versionsImage->relPath()) !=
                                               m_versionsChanged.find(m_versionsImage->relPath());
    m_versionsChanged = changed;
    if (listed) {
        listVersions(*m_versionsImage);
    }
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
    m_tableModel->refreshActivity();
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

// ---- Rescans ----

void ShareModel::rescan() {
    requestScan(true);
}

// A running or starting share serves the same scan as the table.
void ShareModel::requestScan(bool kick) {
    m_scanner->request(folderURL().value_or(std::filesystem::path()), m_writable, kick,
                       m_share != nullptr || m_starting);
}

// Conversions that ended change the lists but not what is left to convert: the jobs still
// queued cover it, and queueing every pending file again after each conversion would
// grow the transcoders' queues with the square of the number of files.
void ShareModel::listConversions() {
    requestScan(false);
}

bool ShareModel::scanning() const {
    return m_scanner->busy();
}

bool ShareModel::working() const {
    return m_scanner->busy() || m_starting || m_worker->busy();
}

// A finished or failed conversion changes the lists: the rescan that shows it is asked for
// on the GUI thread. The transcoders may finish after the model is gone, so the hop goes
// through the application object and looks at the model only once there.
std::function<void()> ShareModel::listConversionsOnGuiThread() {
    return [model = QPointer<ShareModel>(this)] {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [model] {
                    if (model) {
                        model->listConversions();
                    }
                },
                Qt::QueuedConnection);
        }
    };
}

void ShareModel::takeScan(std::shared_ptr<const LibraryContents> contents,
                          std::shared_ptr<const TableIndex> index,
                          std::shared_ptr<LibraryScan> shareScan) {
    const std::optional<std::string> selected = m_table.selectedFolder();
    const std::set<std::string> collapsedBefore = m_tree.collapsed();
    auto shown = std::make_shared<std::pair<std::shared_ptr<const LibraryContents>,
                                            std::shared_ptr<const TableIndex>>>(
        m_table.contents(), m_table.index());
    m_table.setContents(contents, std::move(index));
    m_tree.setFolders(contents->folders);
    const bool relaid = m_table.autoLayoutColumns();
    m_tableModel->refresh();
    // Neither the table nor its item model holds the lists shown until now: the last
    // hold goes to the scanner's worker, which frees them.
    m_scanner->dispose(std::move(shown));
    if (shareScan && m_starting) {
        launch(std::move(*shareScan));
    } else if (shareScan && m_share) {
        m_share->apply(std::move(*shareScan));
    }
    // Told once everything is in place, so that no view sees new rows with old widths.
    emit contentsChanged();
    if (m_table.selectedFolder() != selected) {
        emit tableChanged();
    }
    if (m_tree.collapsed() != collapsedBefore) {
        emit treeChanged();
    }
    if (!m_hub.hubOverride()) {
        emit hubChanged(); // the defaults follow the folders
    }
    columnsMayHaveChanged(relaid);
}

// ---- The library table ----

void ShareModel::rowsChanged() {
    m_tableModel->refresh();
    emit tableChanged();
}

void ShareModel::columnsMayHaveChanged(bool changed) {
    if (changed) {
        emit columnsChanged();
    }
}

void ShareModel::setSort(SortKey key) {
    m_table.setSort(key);
    rowsChanged();
}

void ShareModel::setKindFilter(KindFilter filter) {
    if (filter != m_table.kindFilter()) {
        m_table.setKindFilter(filter);
        autoLayoutColumns();
        rowsChanged();
    }
}

void ShareModel::setSelectedFolder(std::optional<std::string> folder) {
    if (folder != m_table.selectedFolder()) {
        m_table.setSelectedFolder(std::move(folder));
        autoLayoutColumns();
        rowsChanged();
    }
}

void ShareModel::setTableWidth(double width) {
    columnsMayHaveChanged(m_table.setTableWidth(width));
}

void ShareModel::fitAllColumns() {
    columnsMayHaveChanged(m_table.fitAllColumns());
}

void ShareModel::autoLayoutColumns() {
    columnsMayHaveChanged(m_table.autoLayoutColumns());
}

void ShareModel::setColumnWidth(TableColumn column, double width) {
    columnsMayHaveChanged(m_table.setColumnWidth(column, width));
}

void ShareModel::fitColumn(TableColumn column) {
    columnsMayHaveChanged(m_table.fitColumn(column));
}

// ---- The folder tree ----

void ShareModel::toggleCollapsed(const std::string& path) {
    m_tree.toggleCollapsed(path);
    emit treeChanged();
}

void ShareModel::setCollapsed(bool on, const std::optional<std::string>& below) {
    const std::set<std::string> before = m_tree.collapsed();
    m_tree.setCollapsed(on, below);
    if (m_tree.collapsed() != before) {
        emit treeChanged();
    }
}

// ---- Categories ----

void ShareModel::loadHub() {
    m_hub.load(m_folderPath);
    hubEdited(LibraryHub::Outcome::stored);
}

// A failed edit still shows: the categories known now are the stored ones, which another
// program may have changed meanwhile.
void ShareModel::hubEdited(LibraryHub::Outcome outcome) {
    if (outcome == LibraryHub::Outcome::declined) {
        return;
    }
    noteStored(outcome == LibraryHub::Outcome::stored);
    emit hubChanged();
    if (m_share) {
        m_share->setHub(m_hub.hubOverride());
    }
}

void ShareModel::setHubOverride(std::optional<HubConfig> hub) {
    hubEdited(m_hub.setOverride(std::move(hub)));
}

std::vector<std::string> ShareModel::hubCandidates() const {
    return CategoryEdits::hubCandidates(hub(), folders());
}

void ShareModel::toggleCategory(const std::string& path) {
    hubEdited(m_hub.toggleCategory(path, folders()));
}

void ShareModel::moveCategories(const std::set<std::size_t>& offsets, std::size_t destination) {
    hubEdited(m_hub.moveCategories(offsets, destination, folders()));
}

void ShareModel::setCategoryLabel(const std::string& path, const std::string& label) {
    hubEdited(m_hub.setCategoryLabel(path, label, folders()));
}

void ShareModel::setPrefixSubfolder(bool on) {
    hubEdited(m_hub.setPrefixSubfolder(on, folders()));
}

std::int64_t ShareModel::hubCount(const std::string& path, KindFilter kind) const {
    return contents().count(path, kind);
}

// ---- Sheets ----

void ShareModel::setShowCategories(bool on) {
    if (on != m_showCategories) {
        m_showCategories = on;
        emit sheetsChanged();
    }
}

void ShareModel::setShowConversionHelp(bool on) {
    if (on != m_showConversionHelp) {
        m_showConversionHelp = on;
        emit sheetsChanged();
    }
}

void ShareModel::dismissConversionHelp() {
    setShowConversionHelp(false);
    noteStored(m_preferences.set(conversionHelpDismissedKey, true));
}

void ShareModel::setPreviewPic(std::optional<StillPic> picture) {
    if (picture != m_previewPic) {
        m_previewPic = std::move(picture);
        emit sheetsChanged();
    }
}

// ---- Conversion tools ----

void ShareModel::probeConversionTools() {
    probeTools(false, false);
}

// Looking for python3 runs it with numpy and Pillow to import, which takes a good part of
// a second: the worker does it, and the newest look wins.
void ShareModel::probeTools(bool retryFailed, bool thenRescan) {
    AudioTranscoder& audio = m_audioTranscoder;
    PictureTranscoder& pictures = m_pictureTranscoder;
    m_worker->run<ConversionTools::Status>(
        ModelWorker::Job::tools,
        [&audio, &pictures, retryFailed] {
            audio.refresh();
            pictures.refresh();
            if (retryFailed) { // "Recheck": what failed is tried again too
                audio.retryFailures();
                pictures.retryFailures();
            }
            ConversionTools::Status status;
            status.brewPath = ConversionTools::findBrew();
            status.ffmpegPath = audio.ffmpegPath();
            status.pythonPath = pictures.pythonPath();
            if (!status.pythonPath) {
                status.pythonPath = ConversionTools::findPythonBinary();
            }
            status.picturesReady = pictures.converterReady();
            return status;
        },
        [this, thenRescan](ConversionTools::Status status) {
            if (status != m_conversion) {
                m_conversion = std::move(status);
                emit conversionChanged();
            }
            if (std::exchange(m_offerHelpWhenProbed, false)) {
                offerConversionHelpIfNeeded();
            }
            if (thenRescan && !m_folderPath.empty()) {
                rescan();
            }
        },
        true);
}

void ShareModel::recheckConversionTools() {
    probeTools(true, true);
}

void ShareModel::offerConversionHelpIfNeeded() {
    if (m_worker->busy(ModelWorker::Job::tools)) {
        m_offerHelpWhenProbed = true; // asked again once the tools are known
        return;
    }
    const bool dismissed = m_preferences.boolean(conversionHelpDismissedKey).value_or(false);
    if (!dismissed && !(m_conversion.ffmpegPath && m_conversion.picturesReady)) {
        setShowConversionHelp(true);
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
    QTimer::singleShot(copiedLabelMs, this, [this] {
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
    QTimer::singleShot(copiedLabelMs, this, [this, command] {
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
        [file = image.url, clock = m_clock] {
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
            rescan();
            emit snapshotEnded(outcome.copy);
        });
}

std::shared_ptr<ShareServer> ShareModel::server() const {
    return m_share ? m_share->server() : nullptr;
}

// Asked of the share while sharing, which answers between two of the card's requests.
void ShareModel::listVersions(const DiskImage& image) {
    const std::optional<std::filesystem::path> library = folderURL();
    m_worker->run<std::vector<Version>>(
        ModelWorker::Job::versions,
        [settings = VersionSettings::load(m_preferences), library, relPath = image.relPath(),
         server = server()] {
            return library ? ImageVersions::list(settings, *library, relPath, server.get())
                           : std::vector<Version>();
        },
        [this, relPath = image.relPath()](std::vector<Version> versions) {
            m_versions = std::move(versions);
            m_versionsOf = relPath;
            emit versionsChanged();
        },
        true);
}

namespace {

struct RestoreOutcome {
    VersionRestore::Outcome outcome = VersionRestore::Outcome::refused("no library");
    std::filesystem::path copy;
};

} // namespace

void ShareModel::restoreAsCopy(const DiskImage& image, const std::string& id) {
    const std::optional<std::filesystem::path> library = folderURL();
    m_worker->run<RestoreOutcome>(
        ModelWorker::Job::copy,
        [settings = VersionSettings::load(m_preferences), library, relPath = image.relPath(),
         id] {
            RestoreOutcome r;
            if (library) {
                r.outcome = ImageVersions::toCopy(settings, *library, relPath, id, r.copy);
            }
            return r;
        },
        [this](RestoreOutcome r) {
            if (restored(r.outcome)) {
                rescan();
                emit restoreEnded(true, "Restored as " + r.copy.filename().string() + ".");
            }
        });
}

void ShareModel::restoreInPlace(const DiskImage& image, const std::string& id) {
    const std::optional<std::filesystem::path> library = folderURL();
    m_worker->run<VersionRestore::Outcome>(
        ModelWorker::Job::restore,
        [settings = VersionSettings::load(m_preferences), library, relPath = image.relPath(), id,
         server = server()] {
            std::vector<std::string> log;
            return library ? ImageVersions::inPlace(settings, *library, relPath, id,
                                                    server.get(), log)
                           : VersionRestore::Outcome::refused("no library");
        },
        [this, image, id](VersionRestore::Outcome outcome) {
            if (restored(outcome)) {
                emit restoreEnded(true, m_notice.value_or("Restored " +
                                                             image.url.filename().string() +
                                                             " to " + id + "."));
            }
            listVersions(image);
        });
}

bool ShareModel::restored(const VersionRestore::Outcome& outcome) {
    if (outcome.kind != VersionRestore::Outcome::Kind::restored) {
        setLastError("Restore failed: " + outcome.message);
        emit restoreEnded(false, *m_notice);
        return false;
    }
    if (outcome.changedOutside && !outcome.lost.empty()) {
        setLastError("Restored; a later version could not be kept (" + outcome.lost +
                     "), so blocks written without one are as they are now");
    } else {
        setLastError(outcome.changedOutside
                         ? std::optional<std::string>(
                               "Restored; the image was changed outside the share since that "
                               "version, so blocks the share did not write are as they are now")
                         : std::nullopt);
    }
    return true;
}

void ShareModel::setVersionsImage(std::optional<DiskImage> image) {
    if (image != m_versionsImage) {
        m_versionsImage = std::move(image);
        emit sheetsChanged();
    }
}

void ShareModel::reconvert(const StillPic& picture, const StillPic::Knobs& knobs) {
    noteStored(m_pictureTranscoder.saveKnobs(knobs, picture.sourceURL));
    const std::function<void()> done = listConversionsOnGuiThread();
    m_pictureTranscoder.convert(picture.sourceURL, knobs, true, done,
                                [done](const std::string&) { done(); });
}

std::optional<std::filesystem::path> ShareModel::fileOf(const TableRow& row) {
    if (const DiskImage* image = row.image()) {
        return image->url;
    }
    if (const AudioTrack* track = row.track()) {
        return track->sourceURL;
    }
    if (const StillPic* picture = row.picture()) {
        return picture->sourceURL;
    }
    return std::nullopt;
}

void ShareModel::reveal(const std::filesystem::path& file) {
    if (m_revealer) {
        m_revealer->reveal(file);
    }
}

} // namespace vorn
