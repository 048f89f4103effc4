#pragma once
// `vorn-share config`: shows and changes the stored share settings (folder, port,
// writable, advertise and the version settings), validating each value as the desktop
// program would.

#include "platform/Preferences.h"

#include <string>

namespace vorn::ConfigCommand {

/// Prints every setting, with "(default)" where none is stored.
int show(const Preferences& preferences);
/// Stores one setting; an unknown key or a bad value gets one line and exit status 2,
/// with nothing written.
int set(Preferences& preferences, const std::string& key, const std::string& value);
/// Removes one stored setting, so its default applies again.
int unset(Preferences& preferences, const std::string& key);

} // namespace vorn::ConfigCommand
