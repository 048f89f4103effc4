#include "versions/Journal.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vorn::Journal {
namespace {

Stamp fromStat(const struct stat& info) {
    return {std::uint64_t(info.st_size),
            std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
            std::uint64_t(info.st_ino)};
}

// Reads exactly `size` bytes at `offset`; false at the end of the file or on an error.
bool readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t n = pread(fd, into, size, off_t(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        into += n;
        size -= std::size_t(n);
        offset += std::uint64_t(n);
    }
    return true;
}

} // namespace

std::optional<Stamp> stampOf(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 ? std::optional(fromStat(info)) : std::nullopt;
}

std::optional<Stamp> stampOf(const std::filesystem::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? std::optional(fromStat(info)) : std::nullopt;
}

Stamp stampOf(std::uint64_t size, Date modified, std::uint64_t inode) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch());
    return {size, std::int64_t(ns.count()), inode};
}

Date dateOf(std::int64_t ns) {
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(ns)));
}

std::optional<Header> readHeader(int fd) {
    Header header{};
    if (!readAt(fd, reinterpret_cast<char*>(&header), sizeof header, 0) ||
        std::memcmp(header.magic, magic, sizeof magic) != 0) {
        return std::nullopt;
    }
    return header;
}

std::uint64_t recordCount(std::uint64_t bytes) {
    return bytes < sizeof(Header) ? 0 : (bytes - sizeof(Header)) / recordSize;
}

// The records are read in batches: a version of a hard disk image may hold tens of
// thousands of them. A record cut short at the end (a share killed while appending it)
// is left out: its block was not written yet.
bool forEachRecord(int fd,
                   const std::function<bool(std::uint64_t offset, std::string_view bytes)>& apply) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return false;
    }
    constexpr std::uint64_t batch = 128;
    std::vector<char> buffer(batch * recordSize);
    const std::uint64_t count = recordCount(std::uint64_t(info.st_size));
    for (std::uint64_t first = 0; first < count; first += batch) {
        const std::uint64_t n = std::min(batch, count - first);
        if (!readAt(fd, buffer.data(), n * recordSize, sizeof(Header) + first * recordSize)) {
            return false;
        }
        for (std::uint64_t i = 0; i < n; ++i) {
            RecordHead head{};
            const char* record = buffer.data() + i * recordSize;
            std::memcpy(&head, record, sizeof head);
            if (head.tag != recordTag || head.length == 0 || head.length > blockSize) {
                return false;
            }
            if (!apply(head.offset, std::string_view(record + sizeof head, head.length))) {
                return false;
            }
        }
    }
    return true;
}

} // namespace vorn::Journal
