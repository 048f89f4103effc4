#include "scan/LibraryScan.h"

#include "library/FolderWalk.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vorn {
namespace {

std::atomic<std::uint64_t> walksMade{0};

} // namespace

std::vector<std::string> LibraryScan::notesOf(const FolderWalk::Listing& listing) {
    std::vector<std::string> lines;
    for (const std::string& folder : listing.unreadable) {
        lines.push_back("cannot read " + folder);
    }
    for (const std::string& name : listing.unrequestable) {
        lines.push_back("left out, a \"\\\" in the name cannot be requested: " + name);
    }
    return lines;
}

LibraryScan LibraryScan::run(Converters converters, std::filesystem::path folder, bool writable,
                             unsigned parts) {
    LibraryScan scan;
    scan.parts = parts;
    scan.folder = std::move(folder);
    scan.writable = writable;
    scan.folderId = LibraryRoot::identityAt(scan.folder);
    FolderWalk::Listing listing = FolderWalk::walk(scan.folder);
    walksMade.fetch_add(1, std::memory_order_relaxed);
    const std::vector<WalkedFile>& walked = listing.files;
    scan.notes = notesOf(listing);
    if ((parts & diskPart) != 0) {
        scan.catalog = DiskCatalog::scan(walked, writable);
        scan.diskIIFiles = scan.catalog.skippedDiskII(walked);
        for (const DiskImage& image : scan.catalog.images()) {
            if (faccessat(AT_FDCWD, image.path.c_str(), R_OK, AT_EACCESS) != 0) {
                scan.notes.push_back("cannot read image " + image.id() + ": " +
                                     std::strerror(errno));
            }
        }
    }
    if ((parts & audioPart) != 0) {
        scan.audio = AudioCatalog::scan(walked, converters.audio);
    }
    if ((parts & picturePart) != 0) {
        scan.pictures = PictureCatalog::scan(walked, converters.pictures);
    }
    return scan;
}

std::uint64_t LibraryScan::walks() {
    return walksMade.load(std::memory_order_relaxed);
}

void LibraryScan::completeFrom(const LibraryScan& served) {
    if ((parts & diskPart) == 0) {
        catalog = served.catalog;
        diskIIFiles = served.diskIIFiles;
    }
    if ((parts & audioPart) == 0) {
        audio = served.audio;
    }
    if ((parts & picturePart) == 0) {
        pictures = served.pictures;
    }
    parts = everything;
}

std::vector<std::string> LibraryScan::sharedFolders() const {
    return FolderWalk::sharedFolders(catalog.images(), audio.tracks, pictures.pictures);
}

std::string LibraryScan::yourHubJSON(YourHub::Kind kind, const HubConfig& hub) const {
    return YourHub::json(hub, kind, catalog.images(), audio.tracks, pictures.pictures);
}

} // namespace vorn
