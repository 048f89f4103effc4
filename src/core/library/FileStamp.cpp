#include "library/FileStamp.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace vorn::FileStamp {
namespace {

Date fromTimestamp(const struct statx_timestamp& t) {
    return Date(std::chrono::seconds(t.tv_sec)) +
           std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(t.tv_nsec));
}

} // namespace

FileDates of(const struct statx& info) {
    FileDates dates;
    if ((info.stx_mask & STATX_BTIME) != 0) {
        dates.created = fromTimestamp(info.stx_btime);
    }
    if ((info.stx_mask & STATX_MTIME) != 0) {
        dates.modified = fromTimestamp(info.stx_mtime);
    }
    return dates;
}

FileDates of(const std::filesystem::path& path) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) {
        return {};
    }
    return of(info);
}

std::string shortText(Date date) {
    if (date == kDistantPast) {
        return "-";
    }
    const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return "-";
    }
    return std::to_string(local.tm_mon + 1) + "/" + std::to_string(local.tm_mday) + "/" +
           (local.tm_year % 100 < 10 ? "0" : "") + std::to_string(local.tm_year % 100);
}

} // namespace vorn::FileStamp
