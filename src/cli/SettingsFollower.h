#pragma once
// What a running `vorn-share serve` takes from the stored settings without a restart: the
// library's categories and the writable flag, which the desktop program or
// `vorn-share categories` and `vorn-share config` may change at any time.

#include "platform/FolderWatcher.h"

#include <memory>
#include <string>

namespace vorn {

class Preferences;
class ShareServer;

/// Watches the preferences' folder; a change to the categories of `library` or to the
/// writable flag (which `readOnly` pins off) is handed to `server`, with one log line
/// saying what changed. Both must outlive the watcher.
std::unique_ptr<FolderWatcher> followStoredSettings(Preferences& preferences, ShareServer& server,
                                                    const std::string& library, bool readOnly);

} // namespace vorn
