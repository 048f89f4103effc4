#include "versions/DatedCopy.h"

#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "platform/NewFile.h"
#include "platform/SystemError.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn::DatedCopy {
namespace {

namespace fs = std::filesystem;

// The copy, with the source's permissions and modification date, flushed to the disk. A
// file system that only finds out at the flush that it is full says so here, not after
// the copy has its name.
std::error_code writeCopy(const fs::path& file, NewFile& copy) {
    const FileDescriptor in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!in.valid() || ::fstat(in.get(), &info) != 0) {
        return lastSystemError();
    }
    if (const std::error_code error = Files::copyAll(in.get(), copy.fd())) {
        return error;
    }
    const timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
    const bool kept = ::fchmod(copy.fd(), info.st_mode & 07777) == 0 &&
                      ::futimens(copy.fd(), times) == 0 && ::fsync(copy.fd()) == 0;
    return kept ? std::error_code() : lastSystemError();
}

// The first dated name from `n` on that nothing uses yet.
fs::path freeName(const fs::path& file, const std::function<Date()>& clock, int& n) {
    for (;; ++n) {
        const fs::path candidate = file.parent_path() / datedName(file, clock(), n);
        std::error_code ignored;
        if (!fs::exists(fs::symlink_status(candidate, ignored))) {
            return candidate;
        }
    }
}

} // namespace

std::string datedName(const fs::path& file, Date when, int n) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H%M", &local);
    std::string name = file.stem().string() + " " + stamp;
    if (n > 1) {
        name += "-" + std::to_string(n);
    }
    return name + file.extension().string();
}

fs::path make(const fs::path& file, const std::function<Date()>& clock, std::error_code& error) {
    int n = 1;
    fs::path candidate = freeName(file, clock, n);
    NewFile copy(candidate, error);
    error = error ? error : writeCopy(file, copy);
    while (!error && (error = copy.place(candidate)) == std::errc::file_exists) {
        error.clear();
        candidate = freeName(file, clock, ++n); // taken while the copy was being written
    }
    return error ? fs::path() : candidate;
}

} // namespace vorn::DatedCopy
