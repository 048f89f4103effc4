#pragma once
// Snapshot mode: shows the asked-for library and look, waits for the library's scan,
// renders the window's content (or the categories sheet) at twice its size in points and
// writes it as a PNG file, without showing anything on a screen.

#include "AppInfo.h"
#include "SnapshotOptions.h"

class QImage;

namespace vorn {

class ShareModel;

namespace Snapshot {

/// How long a scan may take before the picture is taken with what is there.
inline constexpr int scanWaitMs = 60000;

/// Renders and writes the picture, printing "snapshot written: PATH" or "snapshot
/// failed"; the process's exit status (0 or 1).
int run(ShareModel& model, const AppInfo& info, const SnapshotOptions& options);
/// The picture of `options`' view of the model, at scale 2; a null image when it cannot be
/// made.
QImage render(ShareModel& model, const AppInfo& info, const SnapshotOptions& options);

} // namespace Snapshot
} // namespace vorn
