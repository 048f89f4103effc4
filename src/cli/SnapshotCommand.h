#pragma once
// `vorn-share snapshot`: a dated copy of a disk image beside it, as the desktop makes one
// from a row's menu, so that a headless share has the same safety net before the card
// writes to a disk again.

#include <string>

namespace vorn::SnapshotCommand {

/// Copies the disk image at `image` into its folder as "NAME yyyy-MM-dd HHmm.EXT" (local
/// time; "-2", "-3" follow the time when the name is taken) and prints the copy's path.
/// Bad input gets one line and exit status 2, a copy that fails (a read-only folder, a
/// full disk) status 1; nothing is left behind then.
int run(const std::string& image);

} // namespace vorn::SnapshotCommand
