#include "server/ShareState.h"

#include "library/FolderWalk.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace vorn {

ShareState::ShareState(Converters converters) : converters(converters) {}

void ShareState::rescan() {
    LibraryScan scan = LibraryScan::run(converters, folder, writable);
    apply(scan);
}

// A rescan, or a finished conversion, may have replaced a file that is still held open.
void ShareState::apply(LibraryScan& scan) {
    std::swap(folder, scan.folder);
    std::swap(folderId, scan.folderId);
    std::swap(scanNotes, scan.notes);
    if ((scan.parts & LibraryScan::diskPart) != 0) {
        std::swap(catalog, scan.catalog);
    }
    if ((scan.parts & LibraryScan::audioPart) != 0) {
        std::swap(audio, scan.audio);
    }
    if ((scan.parts & LibraryScan::picturePart) != 0) {
        std::swap(pictures, scan.pictures);
    }
    files.clear();
}

// Another library chosen is no news. The same one at another inode or device was deleted
// and made again, or is a new mount (a stick put back): the files opened in the old one
// are dropped with this scan, and the next requests open the folder at the path anew.
std::vector<std::string> ShareState::newsOf(const LibraryScan& scan) const {
    std::vector<std::string> lines;
    if (scan.folder == folder && folderId != scan.folderId) {
        const std::string what = !scan.folderId ? "gone" : folderId ? "replaced" : "back";
        lines.push_back("library folder " + what + ": " + folder.string());
    }
    for (const std::string& note : scan.notes) {
        if (std::find(scanNotes.begin(), scanNotes.end(), note) == scanNotes.end()) {
            lines.push_back(note);
        }
    }
    return lines;
}

void ShareState::log(std::string_view message) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d  ", local.tm_hour, local.tm_min,
                  local.tm_sec);
    std::string line(stamp);
    line += message;
    status.recentLines.append(std::move(line));
}

std::vector<std::string> ShareState::sharedFolders() const {
    return FolderWalk::sharedFolders(catalog.images(), audio.tracks, pictures.pictures);
}

HubConfig ShareState::effectiveHub() const {
    return HubConfig::effective(hubOverride, sharedFolders());
}

std::string ShareState::yourHubJSON(YourHub::Kind kind) const {
    return YourHub::json(effectiveHub(), kind, catalog.images(), audio.tracks, pictures.pictures);
}

std::string ShareState::rescanSummary() const {
    return "rescan: " + std::to_string(catalog.images().size()) + " disk image(s), " +
           std::to_string(audio.tracks.size()) + " track(s), " +
           std::to_string(pictures.pictures.size()) + " picture(s)";
}

} // namespace vorn
