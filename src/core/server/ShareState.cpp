#include "server/ShareState.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace vorn {

ShareState::ShareState(Converters converters) : converters(converters) {}

void ShareState::rescan(std::filesystem::path folder) {
    apply(std::make_shared<const LibraryScan>(
        LibraryScan::run(converters, std::move(folder), writable)));
}

// A rescan, or a finished conversion, may have replaced a file that is still held open.
std::shared_ptr<const LibraryScan> ShareState::apply(std::shared_ptr<const LibraryScan> next) {
    files.clear();
    return std::exchange(scan, std::move(next));
}

// Another library chosen is no news. The same one at another inode or device was deleted
// and made again, or is a new mount (a stick put back): the files opened in the old one
// are dropped with this scan, and the next requests open the folder at the path anew.
std::vector<std::string> ShareState::newsOf(const LibraryScan& scan) const {
    std::vector<std::string> lines;
    const std::optional<LibraryRoot::Identity>& folderId = this->scan->folderId;
    if (scan.folder == folder() && folderId != scan.folderId) {
        const std::string what = !scan.folderId ? "gone" : folderId ? "replaced" : "back";
        lines.push_back("library folder " + what + ": " + folder().string());
    }
    const std::vector<std::string>& logged = this->scan->notes;
    for (const std::string& note : scan.notes) {
        if (std::find(logged.begin(), logged.end(), note) == logged.end()) {
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
    return scan->sharedFolders();
}

HubConfig ShareState::effectiveHub() const {
    return HubConfig::effective(hubOverride, sharedFolders());
}

std::string ShareState::yourHubJSON(YourHub::Kind kind) const {
    return scan->yourHubJSON(kind, effectiveHub());
}

std::string ShareState::rescanSummary() const {
    return "rescan: " + std::to_string(catalog().images().size()) + " disk image(s), " +
           std::to_string(audio().tracks.size()) + " track(s), " +
           std::to_string(pictures().pictures.size()) + " picture(s)";
}

} // namespace vorn
