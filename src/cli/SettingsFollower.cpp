#include "SettingsFollower.h"

#include "library/ShareSettings.h"
#include "platform/Preferences.h"
#include "platform/Text.h"
#include "server/ShareServer.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace vorn {
namespace {

// The stored settings a running share follows: the library's categories and the writable
// flag. The desktop program or `vorn-share categories` may change them at any time.
struct Followed {
    std::optional<HubConfig> hub;
    bool writable = true;
    VersionSettings versions;
};

} // namespace

VersionSettings versionSettings(const Preferences& preferences,
                                std::optional<std::int64_t> versionGap) {
    VersionSettings settings = VersionSettings::load(preferences);
    if (versionGap) {
        settings.gap = std::chrono::seconds(*versionGap);
    }
    return settings;
}

namespace {

std::vector<std::string> changesBetween(const Followed& last, const Followed& now) {
    std::vector<std::string> changes;
    if (now.hub != last.hub) {
        changes.push_back("categories");
    }
    if (now.writable != last.writable) {
        changes.push_back(now.writable ? "writable on" : "writable off");
    }
    if (now.versions != last.versions) {
        changes.push_back("versions");
    }
    return changes;
}

void handOver(ShareServer& server, const Followed& last, const Followed& now) {
    if (now.hub != last.hub) {
        server.setHub(now.hub);
    }
    if (now.writable != last.writable) {
        server.rescan(std::nullopt, now.writable);
    }
    if (now.versions != last.versions) {
        server.setVersions(now.versions);
    }
}

} // namespace

// Runs on the watcher's thread; the server takes the changes on its own. A settings file
// that is gone or cannot be read changes nothing (a read-only share stays read-only); the
// log says so once.
std::unique_ptr<FolderWatcher> followStoredSettings(Preferences& preferences, ShareServer& server,
                                                    const std::string& library, bool readOnly,
                                                    std::optional<std::int64_t> versionGap) {
    const auto read = [&preferences, library, readOnly, versionGap] {
        return Followed{ShareSettings::hub(preferences, library),
                        !readOnly && ShareSettings::load(preferences).writable,
                        versionSettings(preferences, versionGap)};
    };
    const std::filesystem::path folder = preferences.file().parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::optional<std::string> lastProblem;
    auto onChange = [&preferences, &server, read, last = read(), lastProblem]() mutable {
        const bool reloaded = preferences.reload();
        if (std::optional<std::string> problem = preferences.problem(); problem != lastProblem) {
            if (problem) {
                server.log("stored settings not read, the last ones stay: " + *problem);
            }
            lastProblem = std::move(problem);
        }
        const Followed now = read();
        const std::vector<std::string> changes = changesBetween(last, now);
        if (!reloaded || changes.empty()) {
            return; // another setting, or another library's categories
        }
        server.log("stored settings changed: " + Text::join(changes, ", "));
        handOver(server, last, now);
        last = now;
    };
    return std::make_unique<FolderWatcher>(folder, std::move(onChange));
}

} // namespace vorn
