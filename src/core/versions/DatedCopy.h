#pragma once
// Copies of a disk image beside itself, named with the date and time of the copy, so the
// user can keep the state of a disk before the card writes to it again.

#include "platform/Date.h"

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

namespace vorn::DatedCopy {

/// "Game 2026-12-04 1730.po" for Game.po at that local time; from `n` = 2 on, "-n"
/// follows the time ("Game 2026-12-04 1730-2.po").
std::string datedName(const std::filesystem::path& file, Date when, int n = 1);

/// Copies `file` into its folder under the first dated name that is free, asking `clock`
/// for the time of each name it tries. The copy is written under a hidden temporary name
/// and renamed into place only once complete, so a copy that fails (a full disk) leaves
/// no truncated image behind, and an existing file is never replaced. The copy keeps the
/// file's permissions and modification date. Returns the copy's path, or an empty path
/// with `error` saying why.
std::filesystem::path make(const std::filesystem::path& file, const std::function<Date()>& clock,
                           std::error_code& error);

} // namespace vorn::DatedCopy
