#pragma once
// What a running `vorn-share serve` takes from the stored settings without a restart: the
// library's categories, the writable flag and the version settings, which the desktop program or
// `vorn-share categories` and `vorn-share config` may change at any time.

#include "platform/FolderWatcher.h"
#include "versions/VersionSettings.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vorn {

class Preferences;
class ShareServer;

/// The stored version settings, with the gap `versionGap` (seconds) when given.
VersionSettings versionSettings(const Preferences& preferences,
                                std::optional<std::int64_t> versionGap);

/// Watches the preferences' folder; a change to the categories of `library`, to the
/// writable flag (which `readOnly` pins off) or to the version settings (`versionGap` pins
/// the gap) is handed to `server`, with one log line saying what changed. Both must
/// outlive the watcher.
std::unique_ptr<FolderWatcher> followStoredSettings(Preferences& preferences, ShareServer& server,
                                                    const std::string& library, bool readOnly,
                                                    std::optional<std::int64_t> versionGap);

} // namespace vorn
