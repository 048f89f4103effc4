#include "ShareModel.h"

#include "DatedCopy.h"
#include "FileRevealer.h"
#include "FolderChooser.h"
#include "ImageVersions.h"
#include "LibraryScanner.h"
#include "LibraryTableModel.h"
#include "RunningShare.h"
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

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

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

// Whether the log lines appended since `seen` lines tell of a conversion that finished or
// failed. A transcoder runs a source queued twice (by the server and by the model) only
// once, and tells only whoever queued the job that ran: when that was the server, its log
// is how the model learns that its pending rows changed.
bool reportsConversions(const LogLines& log, std::uint64_t seen) {
    const std::size_t fresh =
        std::size_t(std::min<std::uint64_t>(log.appended() - seen, log.size()));
    for (const std::string& line : log.last(fresh)) {
        for (std::string_view news : {"transcode done: ", "picture convert done: ",
                                      "transcode failed: ", "picture convert failed: "}) {
            if (line.find(news) != std::string::npos) {
                return true;
            }
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
      m_tableModel(new LibraryTableModel(m_table, this)), m_now(m_clock()) {
    m_table.setContents(std::make_shared<const LibraryContents>());
    readPreferences();
    m_tableModel->setActivityFunction([this](const TableRow& row) { return activity(row); });
    m_tableModel->refresh();
    m_scanner->setOnConverted(listConversionsOnGuiThread());
    connect(m_scanner, &LibraryScanner::scanned, this, &ShareModel::takeScan);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &ShareModel::tick);
    probeConversionTools();
    loadHub();
    if (!m_folderPath.empty()) {
        rescan();
    }
}

ShareModel::~ShareModel() {
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
        m_share->refresh(std::nullopt, on);
    }
    rescan(); // the table's images carry the flag too
}

void ShareModel::setAdvertise(bool on) {
    if (on != m_advertise) {
        m_advertise = on;
        noteStored(m_preferences.set("advertise", on));
        emit settingsChanged();
    }
}

void ShareModel::setPort(std::uint16_t port) {
    if (port != m_port) {
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
    try {
        m_share = std::make_unique<RunningShare>(
            RunningShare::Config{converters(), *folder, m_writable, m_advertise, shareName(),
                                 m_hub.hubOverride(), VersionSettings::load(m_preferences)},
            m_port);
        connect(m_share.get(), &RunningShare::statusArrived, this, &ShareModel::takeStatus);
        connect(m_share.get(), &RunningShare::libraryChanged, this, &ShareModel::rescan);
        m_tick.start();
    } catch (const std::system_error& e) {
        setLastError(listenError(m_port, e));
    }
    rescan();
}

void ShareModel::stop() {
    m_share.reset();
    m_tick.stop();
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
    const bool wasSharing = m_sharing || m_share != nullptr;
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
        const bool converted = reportsConversions(status.recentLines, m_logAppended);
        m_logAppended = status.recentLines.appended();
        m_logLines = status.recentLines.last(shownLogLines);
        emit logChanged();
        if (converted) {
            listConversions();
        }
    }
    setLastError(status.lastError);
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

void ShareModel::setLastError(std::optional<std::string> error) {
    if (error != m_lastError) {
        m_lastError = std::move(error);
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
    m_scanner->request(folderURL().value_or(std::filesystem::path()), m_writable, true);
}

// Conversions that ended change the lists but not what is left to convert: the jobs still
// queued cover it, and queueing every pending file again after each conversion would
// grow the transcoders' queues with the square of the number of files.
void ShareModel::listConversions() {
    m_scanner->request(folderURL().value_or(std::filesystem::path()), m_writable);
}

bool ShareModel::scanning() const {
    return m_scanner->busy();
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

void ShareModel::takeScan(std::shared_ptr<const LibraryContents> contents) {
    const std::optional<std::string> selected = m_table.selectedFolder();
    const std::set<std::string> collapsedBefore = m_tree.collapsed();
    m_table.setContents(contents);
    m_tree.setFolders(contents->folders);
    const bool relaid = m_table.autoLayoutColumns();
    m_tableModel->refresh();
    if (m_share) {
        m_share->refresh(folderURL(), m_writable);
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
    m_audioTranscoder.refresh();
    m_pictureTranscoder.refresh();
    ConversionTools::Status status;
    status.brewPath = ConversionTools::findBrew();
    status.ffmpegPath = m_audioTranscoder.ffmpegPath();
    status.pythonPath = m_pictureTranscoder.pythonPath();
    if (!status.pythonPath) {
        status.pythonPath = ConversionTools::findPythonBinary();
    }
    status.picturesReady = m_pictureTranscoder.converterReady();
    if (status != m_conversion) {
        m_conversion = std::move(status);
        emit conversionChanged();
    }
}

void ShareModel::recheckConversionTools() {
    probeConversionTools();
    if (!m_folderPath.empty()) {
        rescan();
    }
}

void ShareModel::offerConversionHelpIfNeeded() {
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

std::optional<std::filesystem::path> ShareModel::snapshot(const DiskImage& image) {
    std::error_code error;
    const std::filesystem::path copy = DatedCopy::make(image.url, m_clock, error);
    if (copy.empty()) {
        setLastError("Snapshot failed: " + error.message());
        return std::nullopt;
    }
    setLastError(std::nullopt);
    rescan();
    return copy;
}

std::vector<Version> ShareModel::versions(const DiskImage& image) const {
    const std::optional<std::filesystem::path> library = folderURL();
    return library ? ImageVersions::list(VersionSettings::load(m_preferences), *library,
                                         image.relPath(), m_share ? &m_share->server() : nullptr)
                   : std::vector<Version>();
}

std::optional<std::filesystem::path> ShareModel::restoreAsCopy(const DiskImage& image,
                                                               const std::string& id) {
    const std::optional<std::filesystem::path> library = folderURL();
    std::filesystem::path copy;
    const VersionRestore::Outcome outcome =
        library ? ImageVersions::toCopy(VersionSettings::load(m_preferences), *library,
                                        image.relPath(), id, copy)
                : VersionRestore::Outcome::refused("no library");
    if (!restored(outcome)) {
        return std::nullopt;
    }
    rescan();
    return copy;
}

bool ShareModel::restoreInPlace(const DiskImage& image, const std::string& id) {
    const std::optional<std::filesystem::path> library = folderURL();
    std::vector<std::string> log;
    const VersionRestore::Outcome outcome =
        library ? ImageVersions::inPlace(VersionSettings::load(m_preferences), *library,
                                         image.relPath(), id,
                                         m_share ? &m_share->server() : nullptr, log)
                : VersionRestore::Outcome::refused("no library");
    return restored(outcome);
}

bool ShareModel::restored(const VersionRestore::Outcome& outcome) {
    if (outcome.kind != VersionRestore::Outcome::Kind::restored) {
        setLastError("Restore failed: " + outcome.message);
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
    m_pictureTranscoder.saveKnobs(knobs, picture.sourceURL);
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
