#pragma once
// Creation and modification dates of a file, and their short display form.

#include "platform/Date.h"

#include <filesystem>
#include <string>

struct statx;

namespace vorn {

/// The two dates of a file; either may be kDistantPast when unknown.
struct FileDates {
    Date created = kDistantPast;
    Date modified = kDistantPast;
    bool operator==(const FileDates&) const = default;
};

namespace FileStamp {

/// Dates from a statx record; the birth time only where the file system reports it.
FileDates of(const struct statx& info);
/// Dates of the file at `path`; both kDistantPast when it cannot be examined.
FileDates of(const std::filesystem::path& path);
/// "M/d/yy" in local time (12/4/26), or "-" for kDistantPast.
std::string shortText(Date date);

} // namespace FileStamp
} // namespace vorn
