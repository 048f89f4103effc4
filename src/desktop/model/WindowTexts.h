#pragma once
// The texts the window composes from the model's figures: the version, the table's title,
// the counts line and the status strip. Kept apart from the widgets so that what the
// window says is decided, and tested, without one.

#include "TableKeys.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class LibraryModel;
class ShareModel;

namespace WindowTexts {

/// One piece of the counts line.
struct CountsPart {
    std::string text;
    /// Drawn in the look's warning colour (skipped files).
    bool warn = false;
    /// Followed by an "Open Conversion tools" button.
    bool offersHelp = false;
    bool operator==(const CountsPart&) const = default;
};

/// "v0.1.0 (b42)"; "v0.1.0" when the build number is the version itself; "v0.1.0 dev"
/// without a build number (a build outside a git checkout).
std::string versionText(std::string_view number, std::string_view build);
/// `n` and `word`, with "s" unless `n` is 1.
std::string counted(std::int64_t n, std::string_view word);
/// "N B" below 1 KiB, whole KiB "N KB" below 1 MiB, else "N.N MB".
std::string byteText(std::uint64_t bytes);
/// "Disk Images, Audio & Pictures", "Disk Images", ..., with " in " + the selected
/// folder's last component.
std::string tableTitle(KindFilter filter, const std::optional<std::string>& folder);
/// The counts line for the current filter and folder, in the order shown.
std::vector<CountsPart> countsLine(const LibraryModel& library);
/// The status strip after its light: sharing, requests, bytes served, tracks, writable.
std::vector<std::string> statusParts(const ShareModel& model);

} // namespace WindowTexts
} // namespace vorn
