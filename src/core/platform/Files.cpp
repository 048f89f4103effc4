#include "platform/Files.h"

#include "platform/FileDescriptor.h"
#include "platform/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn::Files {

std::optional<std::uint64_t> size(const std::filesystem::path& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::uint64_t(info.st_size);
}

std::optional<Date> modified(const std::filesystem::path& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return modified(info);
}

Date modified(const struct stat& info) {
    return Date(std::chrono::seconds(info.st_mtim.tv_sec)) +
           std::chrono::duration_cast<Date::duration>(
               std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

bool exists(const std::filesystem::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

void removeQuietly(const std::filesystem::path& path) {
    std::remove(path.c_str());
}

bool move(const std::filesystem::path& from, const std::filesystem::path& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

// Descriptors here are close-on-exec (which file streams cannot ask for): a converter
// started meanwhile on another thread must not inherit them.
std::optional<std::string> read(const std::filesystem::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        bytes.append(buffer, std::size_t(std::max<ssize_t>(n, 0)));
    }
    close(fd);
    return n == 0 ? std::optional<std::string>(std::move(bytes)) : std::nullopt;
}

std::error_code overwrite(const std::filesystem::path& path, std::string_view bytes) {
    FileDescriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        return lastSystemError();
    }
    const std::error_code error = writeAll(fd.get(), bytes);
    // Some file systems report a full disk only when the file is closed.
    const std::error_code closed = fd.close();
    return error ? error : closed;
}

bool write(const std::filesystem::path& path, const std::string& bytes) {
    const std::error_code error = overwrite(path, bytes);
    errno = error.value(); // the reason stays for the caller (a full disk)
    return !error;
}

namespace {

// A write that makes no progress counts as a full disk.
template <class Write>
std::error_code writeLoop(std::string_view bytes, Write write) {
    for (std::uint64_t done = 0; !bytes.empty();) {
        const ssize_t n = write(bytes, done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? lastSystemError() : std::make_error_code(std::errc::no_space_on_device);
        }
        bytes.remove_prefix(std::size_t(n));
        done += std::uint64_t(n);
    }
    return {};
}

} // namespace

std::error_code writeAt(int fd, std::string_view bytes, std::uint64_t offset) {
    return writeLoop(bytes, [&](std::string_view left, std::uint64_t done) {
        return pwrite(fd, left.data(), left.size(), off_t(offset + done));
    });
}

std::error_code writeAll(int fd, std::string_view bytes) {
    return writeLoop(bytes, [&](std::string_view left, std::uint64_t) {
        return ::write(fd, left.data(), left.size());
    });
}

std::error_code readAt(int fd, char* into, std::size_t size, std::uint64_t offset,
                       std::size_t& got) {
    for (got = 0; got < size;) {
        const ssize_t n = pread(fd, into + got, size - got, off_t(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return lastSystemError();
        }
        if (n == 0) {
            break;
        }
        got += std::size_t(n);
    }
    return {};
}

namespace {

// What copy_file_range says when it cannot copy between these two files (another file
// system, a kernel or file system without it, a pipe), before or after copying a part.
bool cannotCopyInKernel(int error) {
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL;
}

std::error_code readWriteCopy(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? std::error_code() : lastSystemError();
        }
        if (const std::error_code error = writeAll(to, std::string_view(buffer, std::size_t(n)))) {
            return error;
        }
    }
}

} // namespace

// copy_file_range lets the kernel copy without passing the bytes through us, and makes a
// reflink file system (btrfs, XFS) share the blocks instead of copying them. Both
// descriptors' positions advance with what it copied, so where it gives up, reading and
// writing go on from there.
std::error_code copyAll(int from, int to) {
    for (;;) {
        const ssize_t n = copy_file_range(from, nullptr, to, nullptr, std::size_t(1) << 30, 0);
        if (n == 0) {
            return {};
        }
        if (n < 0 && errno != EINTR) {
            return cannotCopyInKernel(errno) ? readWriteCopy(from, to) : lastSystemError();
        }
    }
}

std::string realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

void forEachEntry(const std::filesystem::path& dir,
                  const std::function<void(const std::filesystem::directory_entry&)>& visit) {
    // The range-for form steps with operator++, which throws where increment(ec) reports.
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        visit(*it);
    }
}

} // namespace vorn::Files
