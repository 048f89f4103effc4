#pragma once
// The versions kept of the library's images, as the versions sheet shows them: which
// image's sheet is open, its versions, and the two restores. Listing and restoring run
// on the model's worker; while the library is shared, the share does them between two of
// the card's requests.

#include "library/DiskImage.h"
#include "server/ShareStatus.h"
#include "versions/VersionRestore.h"
#include "versions/VersionStore.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

class LibraryModel;
class ModelWorker;
class Preferences;
class ShareServer;

/// Lives on the GUI thread; every operation is called there.
class VersionsModel : public QObject {
    Q_OBJECT
public:
    /// The running share's server, or null.
    using ServerFn = std::function<std::shared_ptr<ShareServer>()>;

    /// Everything given must outlive this model; `preferences` holds how versions are
    /// kept, and `library` names the folder and is rescanned after a restored copy.
    VersionsModel(ModelWorker& worker, Preferences& preferences, LibraryModel& library,
                  ServerFn server, QObject* parent = nullptr);

    /// The image whose versions sheet is open.
    const std::optional<DiskImage>& image() const { return m_image; }
    void setImage(std::optional<DiskImage> image);
    /// Lists the versions kept of `image` on the worker; versionsChanged() when they are in.
    void list(const DiskImage& image);
    /// The versions of the image listed last, newest first.
    const std::vector<Version>& versions() const { return m_versions; }
    /// The relPath of the image listed last.
    const std::string& versionsOf() const { return m_versionsOf; }
    /// Writes `image` as it was at version `id` into a new file beside it, named after
    /// the version, on the worker; restoreEnded() tells how it went.
    void restoreAsCopy(const DiskImage& image, const std::string& id);
    /// Brings `image` back to version `id` in place, itself kept as a version first (so
    /// it can be undone), on the worker; restoreEnded() tells how it went, and the
    /// versions are listed again.
    void restoreInPlace(const DiskImage& image, const std::string& id);
    /// The share's versions changed (a session of the card's writes began, or a restore
    /// kept one): an open sheet lists its image again.
    void takeChanged(const ItemDates& changed);

signals:
    /// image.
    void imageChanged();
    /// versions, versionsOf.
    void versionsChanged();
    /// A restore ended: whether it worked, and what to tell the user.
    void restoreEnded(bool restored, const std::string& message);
    /// The notice a restore leaves for the window (none when all went as asked).
    void noticed(std::optional<std::string> notice);

private:
    bool restored(const VersionRestore::Outcome& outcome, std::string& notice);

    ModelWorker& m_worker;
    Preferences& m_preferences;
    LibraryModel& m_library;
    ServerFn m_server;
    std::optional<DiskImage> m_image;
    std::vector<Version> m_versions;
    std::string m_versionsOf;
    ItemDates m_changed;
};

} // namespace vorn
