#include "server/ShareState.h"

#include "library/FolderWalk.h"

#include <ctime>

namespace vorn {

void ShareState::rescan() {
    const std::vector<WalkedFile> walked = FolderWalk::files(folder);
    catalog = Catalog::scan(walked, writable);
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
    return FolderWalk::foldersFromDirs(dirs);
}

HubConfig ShareState::effectiveHub() const {
    return hubOverride ? *hubOverride : HubConfig::defaults(sharedFolders());
}

std::string ShareState::rescanSummary() const {
    return "rescan: " + std::to_string(catalog.images().size()) +
           " disk image(s), 0 track(s), 0 picture(s)";
}

} // namespace vorn
