#include "platform/Files.h"

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
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return {errno, std::generic_category()};
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const std::error_code error(n < 0 ? errno : ENOSPC, std::generic_category());
            close(fd);
            return error;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    // Some file systems report a full disk only when the file is closed.
    return close(fd) == 0 ? std::error_code() : std::error_code(errno, std::generic_category());
}

bool write(const std::filesystem::path& path, const std::string& bytes) {
    const std::error_code error = overwrite(path, bytes);
    errno = error.value(); // the reason stays for the caller (a full disk)
    return !error;
}

std::error_code writeAt(int fd, std::string_view bytes, std::uint64_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = pwrite(fd, bytes.data(), bytes.size(), off_t(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? std::error_code(errno, std::generic_category())
                         : std::make_error_code(std::errc::no_space_on_device);
        }
        bytes.remove_prefix(std::size_t(n));
        offset += std::uint64_t(n);
    }
    return {};
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
