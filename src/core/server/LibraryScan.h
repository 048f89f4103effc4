#pragma once
// The catalogs one walk of the library gives. A large library takes a walk and thousands
// of probes to scan, so scans are built away from the server's thread and handed to it
// whole; the server swaps them in between two requests.

#include "audio/AudioCatalog.h"
#include "library/Catalog.h"
#include "pictures/PictureCatalog.h"

#include <filesystem>

namespace vorn {

struct LibraryScan {
    /// Which catalogs a scan builds.
    enum Part : unsigned { diskPart = 1, audioPart = 2, picturePart = 4, everything = 7 };

    unsigned parts = 0;
    std::filesystem::path folder;
    bool writable = true;
    Catalog catalog;
    AudioCatalog audio;
    PictureCatalog pictures;

    /// Walks `folder` once and builds the catalogs of `parts` from that walk. Touches only
    /// the file system and the transcoders' locked settings: any thread may run it.
    static LibraryScan run(unsigned parts, std::filesystem::path folder, bool writable);
};

} // namespace vorn
