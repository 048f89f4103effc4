#include "server/ShareState.h"

#include "library/FolderWalk.h"

#include <ctime>
#include <utility>

namespace vorn {

void ShareState::rescan() {
    LibraryScan scan = LibraryScan::run(LibraryScan::everything, folder, writable);
    apply(scan);
}

// A rescan, or a finished conversion, may have replaced a file that is still held open.
void ShareState::apply(LibraryScan& scan) {
    std::swap(folder, scan.folder);
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
    std::vector<std::string> dirs;
    for (const DiskImage& image : catalog.images()) {
        dirs.push_back(image.folder);
    }
    for (const AudioTrack& track : audio.tracks) {
        dirs.push_back(track.folder);
    }
    for (const StillPic& pic : pictures.pictures) {
        dirs.push_back(pic.folder);
    }
    return FolderWalk::foldersFromDirs(dirs);
}

HubConfig ShareState::effectiveHub() const {
    return hubOverride ? *hubOverride : HubConfig::defaults(sharedFolders());
}

std::string ShareState::yourHubJSON(YourHub::Kind kind) const {
    const auto json = [&](const auto& items) {
        return YourHub::json(effectiveHub(), kind, std::int64_t(items.size()),
                             [&](const std::string& path) { return countInCategory(items, path); });
    };
    switch (kind) {
    case YourHub::Kind::audio:
        return json(audio.tracks);
    case YourHub::Kind::pictures:
        return json(pictures.pictures);
    case YourHub::Kind::disks:
        break;
    }
    return json(catalog.images());
}

std::string ShareState::rescanSummary() const {
    return "rescan: " + std::to_string(catalog.images().size()) + " disk image(s), " +
           std::to_string(audio.tracks.size()) + " track(s), " +
           std::to_string(pictures.pictures.size()) + " picture(s)";
}

} // namespace vorn
