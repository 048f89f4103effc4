#pragma once
// Everything a share serves from, owned by the server's thread: the library folder and
// its catalogs, the settings, the published status and the open files.

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
    std::filesystem::path folder;
    /// The folder `folder` named at the last scan; absent when none was there.
    std::optional<LibraryRoot::Identity> folderId;
    /// What the last scan could not take in, as log lines.
    std::vector<std::string> scanNotes;
    bool writable = true;
    DiskCatalog catalog;
    AudioCatalog audio;
    PictureCatalog pictures;
    std::optional<HubConfig> hubOverride;
    ShareStatus status;
    OpenFiles files;
    WriterWatch writers;
    /// Keeps versions of the images the card writes; absent: none are kept.
    std::unique_ptr<VersionKeeper> versions;
    /// The time the keeper measures write sessions by.
    SteadyNow versionClock = std::chrono::steady_clock::now;

    /// Walks the library and rebuilds every catalog from the same walk, on this thread.
    void rescan();
    /// Takes the folder and the catalogs of a finished scan; `scan` is left holding the
    /// catalogs, and the folder's identity and notes, they replace.
    void apply(LibraryScan& scan);
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
