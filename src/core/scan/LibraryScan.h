#pragma once
// The catalogs one walk of the library gives: the disk images, the audio and the
// pictures, read from the same walk. A large library takes a walk and thousands of probes
// to scan, so scans are built away from the threads that serve or draw and handed over
// whole. The share server, the desktop program and `vorn-share` all scan through here.

#include "audio/AudioCatalog.h"
#include "library/DiskCatalog.h"
#include "library/FolderWalk.h"
#include "library/HubConfig.h"
#include "library/LibraryRoot.h"
#include "library/YourHub.h"
#include "pictures/PictureCatalog.h"
#include "scan/Converters.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

struct LibraryScan {
    /// Which catalogs a scan builds.
    enum Part : unsigned { diskPart = 1, audioPart = 2, picturePart = 4, everything = 7 };

    unsigned parts = 0;
    std::filesystem::path folder;
    bool writable = true;
    DiskCatalog catalog;
    AudioCatalog audio;
    PictureCatalog pictures;
    /// Files of the walk that need Disk II emulation (.woz, .nib, DOS 3.3 disks...), which
    /// are not shared.
    std::int64_t diskIIFiles = 0;
    /// Which folder the path named at the walk; absent when none was there.
    std::optional<LibraryRoot::Identity> folderId;
    /// Log lines on what the walk could not take in: folders and images that cannot be
    /// read, names no request can reach.
    std::vector<std::string> notes;

    /// Walks `folder` once and builds the catalogs of `parts` from that walk, asking the
    /// converters where converted files live. Touches only the file system and the
    /// converters' locked settings: any thread may run it.
    static LibraryScan run(Converters converters, std::filesystem::path folder, bool writable,
                           unsigned parts = everything);

    /// The notes on what a walk could not take in (see `notes`).
    static std::vector<std::string> notesOf(const FolderWalk::Listing& listing);
    /// How many walks `run` has made in this process: a large library's walk is the
    /// costliest thing the programs do, and tests count them.
    static std::uint64_t walks();

    /// Takes the parts this scan did not build from `served`, an earlier scan of the same
    /// folder: a conversion's end rescans only its own kind, but a share serves whole scans.
    void completeFrom(const LibraryScan& served);

    /// The folders of every image, track and picture, with their ancestors.
    std::vector<std::string> sharedFolders() const;
    /// The categories JSON of one kind of item with the categories `hub`.
    std::string yourHubJSON(YourHub::Kind kind, const HubConfig& hub) const;
};

} // namespace vorn
