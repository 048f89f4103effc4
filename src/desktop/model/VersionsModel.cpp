#include "VersionsModel.h"

#include "ImageVersions.h"
#include "LibraryModel.h"
#include "ModelWorker.h"
#include "server/ShareServer.h"
#include "versions/VersionSettings.h"

#include <utility>

namespace vorn {

VersionsModel::VersionsModel(ModelWorker& worker, Preferences& preferences, LibraryModel& library,
                             ServerFn server, QObject* parent)
    : QObject(parent), m_worker(worker), m_preferences(preferences), m_library(library),
      m_server(std::move(server)) {}

void VersionsModel::setImage(std::optional<DiskImage> image) {
    if (image != m_image) {
        m_image = std::move(image);
        emit imageChanged();
    }
}

void VersionsModel::takeChanged(const ItemDates& changed) {
    if (changed == m_changed) {
        return;
    }
    const bool listed =
        m_image && changed.find(m_image->relPath()) != m_changed.find(m_image->relPath());
    m_changed = changed;
    if (listed) {
        list(*m_image);
    }
}

// Asked of the share while sharing, which answers between two of the card's requests.
void VersionsModel::list(const DiskImage& image) {
    m_worker.run<std::vector<Version>>(
        ModelWorker::Job::versions,
        [settings = VersionSettings::load(m_preferences), library = m_library.folderPath(),
         relPath = image.relPath(), server = m_server()] {
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

void VersionsModel::restoreAsCopy(const DiskImage& image, const std::string& id) {
    m_worker.run<RestoreOutcome>(
        ModelWorker::Job::copy,
        [settings = VersionSettings::load(m_preferences), library = m_library.folderPath(),
         relPath = image.relPath(), id] {
            RestoreOutcome r;
            if (library) {
                r.outcome = ImageVersions::toCopy(settings, *library, relPath, id, r.copy);
            }
            return r;
        },
        [this](RestoreOutcome r) {
            std::string notice;
            if (restored(r.outcome, notice)) {
                m_library.rescan();
                emit restoreEnded(true, "Restored as " + r.copy.filename().string() + ".");
            }
        });
}

void VersionsModel::restoreInPlace(const DiskImage& image, const std::string& id) {
    m_worker.run<VersionRestore::Outcome>(
        ModelWorker::Job::restore,
        [settings = VersionSettings::load(m_preferences), library = m_library.folderPath(),
         relPath = image.relPath(), id, server = m_server()] {
            std::vector<std::string> log;
            return library
                       ? ImageVersions::inPlace(settings, *library, relPath, id, server.get(), log)
                       : VersionRestore::Outcome::refused("no library");
        },
        [this, image, id](VersionRestore::Outcome outcome) {
            std::string notice;
            if (restored(outcome, notice)) {
                emit restoreEnded(true, notice.empty()
                                            ? "Restored " + image.path.filename().string() + " to " +
                                                  id + "."
                                            : notice);
            }
            list(image);
        });
}

// Tells the window how a restore went; `notice` is left with what it was told.
bool VersionsModel::restored(const VersionRestore::Outcome& outcome, std::string& notice) {
    if (outcome.kind != VersionRestore::Outcome::Kind::restored) {
        notice = "Restore failed: " + outcome.message;
        emit noticed(notice);
        emit restoreEnded(false, notice);
        return false;
    }
    if (outcome.changedOutside && !outcome.lost.empty()) {
        notice = "Restored; a later version could not be kept (" + outcome.lost +
                 "), so blocks written without one are as they are now";
    } else if (outcome.changedOutside) {
        notice = "Restored; the image was changed outside the share since that version, so "
                 "blocks the share did not write are as they are now";
    }
    emit noticed(notice.empty() ? std::nullopt : std::optional<std::string>(notice));
    return true;
}

} // namespace vorn
