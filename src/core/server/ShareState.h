#pragma once
// Everything a share serves from, owned by the server's thread: the scan of the library
// (its folder and catalogs, shared with whoever made it), the settings, the published
// status and the open files.

#include "audio/AudioCatalog.h"
#include "library/DiskCatalog.h"
#include "library/HubConfig.h"
#include "library/WalkedFile.h"
#include "library/YourHub.h"
#include "pictures/PictureCatalog.h"
#include "scan/Converters.h"
#include "scan/LibraryScan.h"
#include "server/OpenFiles.h"
#include "server/ShareStatus.h"
#include "server/WriterWatch.h"
#include "versions/VersionKeeper.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

struct ShareState {
    explicit ShareState(Converters converters);

    /// Where the catalogs find converted files, and who converts what is pending.
    Converters converters;
    /// The scan served, never null. Immutable and shared: the desktop's table reads the
    /// same value, and a rescan replaces it whole.
    std::shared_ptr<const LibraryScan> scan = std::make_shared<const LibraryScan>();
    /// Applies at once, ahead of the scan that carries it into the catalogs.
    bool writable = true;
    std::optional<HubConfig> hubOverride;
    ShareStatus status;
    OpenFiles files;
    WriterWatch writers;
    /// Keeps versions of the images the card writes; absent: none are kept.
    std::unique_ptr<VersionKeeper> versions;
    /// The time the keeper measures write sessions by.
    SteadyNow versionClock = std::chrono::steady_clock::now;

    const std::filesystem::path& folder() const { return scan->folder; }
    const DiskCatalog& catalog() const { return scan->catalog; }
    const AudioCatalog& audio() const { return scan->audio; }
    const PictureCatalog& pictures() const { return scan->pictures; }

    /// Walks `folder` and rebuilds every catalog from the same walk, on this thread.
    void rescan(std::filesystem::path folder);
    /// The same, for the folder served.
    void rescan() { rescan(folder()); }
    /// Serves a finished scan of every part; returns the scan it replaces, for the caller
    /// to let go where freeing a large one does not hold up the card.
    std::shared_ptr<const LibraryScan> apply(std::shared_ptr<const LibraryScan> next);
    /// The log lines a scan about to be applied calls for: the library folder gone,
    /// replaced or back, and the notes not logged before.
    std::vector<std::string> newsOf(const LibraryScan& scan) const;
    /// Appends "HH:mm:ss  message" to the log.
    void log(std::string_view message);
    /// The folders of every shared item, with their ancestors.
    std::vector<std::string> sharedFolders() const;
    /// The user's categories, or the defaults of the shared folders.
    HubConfig effectiveHub() const;
    /// The categories JSON of one kind of item, with the categories in force.
    std::string yourHubJSON(YourHub::Kind kind) const;
    /// "rescan: N disk image(s), N track(s), N picture(s)".
    std::string rescanSummary() const;
};

} // namespace vorn
