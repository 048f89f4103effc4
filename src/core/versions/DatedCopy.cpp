#include "versions/DatedCopy.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vorn::DatedCopy {
namespace {

namespace fs = std::filesystem;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Closes a descriptor on every way out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool readWriteCopy(int in, int out) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        if (!writeAll(out, buffer, std::size_t(n))) {
            return false;
        }
    }
}

// copy_file_range lets the kernel copy without passing the bytes through us, and makes a
// reflink file system (btrfs, XFS) share the blocks instead of copying them. A kernel or
// file system that cannot do it for these two files says so before copying anything.
bool copyContents(int in, int out) {
    bool copied = false;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t(1) << 30, 0);
        if (n > 0) {
            copied = true;
            continue;
        }
        if (n == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        const bool unsupported =
            errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL;
        return !copied && unsupported && readWriteCopy(in, out);
    }
}

// The copy under a hidden name (the library walk skips names beginning with "."), with
// the source's permissions and modification date, flushed to the disk. A file system
// that only finds out at the flush that it is full says so here, not after the rename.
fs::path writeTemporary(const fs::path& file, std::error_code& error) {
    Fd in{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    if (in.fd < 0 || ::fstat(in.fd, &info) != 0) {
        error = lastError();
        return {};
    }
    std::string pattern = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX"));
    Fd out{::mkostemp(pattern.data(), O_CLOEXEC)};
    if (out.fd < 0) {
        error = lastError();
        return {};
    }
    const timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
    const bool written = copyContents(in.fd, out.fd) &&
                         ::fchmod(out.fd, info.st_mode & 07777) == 0 &&
                         ::futimens(out.fd, times) == 0 && ::fsync(out.fd) == 0;
    if (!written || ::close(std::exchange(out.fd, -1)) != 0) {
        error = lastError();
        ::unlink(pattern.c_str());
        return {};
    }
    return pattern;
}

// Renames without replacing: a file that appeared under the name since it was chosen
// is kept, and the caller tries the next name.
bool placeWithoutReplacing(const fs::path& from, const fs::path& to, std::error_code& error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without that kind of rename: a hard link fails as well when the
        // name is taken.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return true;
        }
    }
    error = lastError();
    return false;
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
    error.clear();
    int n = 1;
    fs::path candidate = freeName(file, clock, n);
    const fs::path temporary = writeTemporary(file, error);
    if (temporary.empty()) {
        return {};
    }
    while (!placeWithoutReplacing(temporary, candidate, error)) {
        if (error != std::errc::file_exists) {
            ::unlink(temporary.c_str());
            return {};
        }
        error.clear();
        candidate = freeName(file, clock, ++n); // taken while the copy was being written
    }
    return candidate;
}

} // namespace vorn::DatedCopy
