#include "versions/Journal.h"

#include "platform/Crc32c.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vorn::Journal {
namespace {

Stamp fromStat(const struct stat& info) {
    return {std::uint64_t(info.st_size),
            std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
            std::uint64_t(info.st_ino)};
}

// Reads up to `size` bytes at `offset`: fewer only at the end of the file. -1 with errno
// set on an error, for `unreadable`.
ssize_t readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    std::size_t got = 0;
    const std::error_code error = Files::readAt(fd, into, size, offset, got);
    errno = error.value();
    return error ? -1 : ssize_t(got);
}

std::string unreadable() {
    return "cannot be read: " + std::generic_category().message(errno);
}

std::string blocks(std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " block" : " blocks");
}

// A record whose checksum holds and whose block lies inside the image as it was.
bool sound(const RecordHead& head, const char* record, const Header& header) {
    return head.crc == recordCrc(record) && head.length >= 1 && head.length <= blockSize &&
           head.offset % blockSize == 0 && head.offset < header.before.size &&
           head.length <= header.before.size - head.offset;
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

Header sealed(Header header) {
    header.crc =
        Crc32c::of(std::string_view(reinterpret_cast<const char*>(&header), offsetof(Header, crc)));
    return header;
}

std::uint32_t recordCrc(const char* record) {
    const std::uint32_t head = Crc32c::of(std::string_view(record, offsetof(RecordHead, crc)));
    return Crc32c::of(std::string_view(record + sizeof(RecordHead), blockSize), head);
}

int openForReading(const std::filesystem::path& path, std::string& why) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        why = unreadable();
    } else if (!S_ISREG(info.st_mode)) {
        why = "not a regular file";
    } else {
        return fd;
    }
    if (fd >= 0) {
        close(fd);
    }
    return -1;
}

// A share writing the journal rewrites the header in place after every write, and a read
// racing that rewrite may see half of each: only a checksum that fails twice running
// tells damage.
std::optional<Header> readHeader(int fd, std::string& why) {
    Header header{};
    struct stat info {};
    ssize_t got = readAt(fd, reinterpret_cast<char*>(&header), sizeof header, 0);
    if (got == ssize_t(sizeof header) && sealed(header).crc != header.crc) {
        got = readAt(fd, reinterpret_cast<char*>(&header), sizeof header, 0);
    }
    if (got < 0 || fstat(fd, &info) != 0) {
        why = unreadable();
    } else if (std::size_t(got) >= sizeof magic &&
               std::memcmp(header.magic, olderMagic, sizeof magic) == 0) {
        why = "an older format";
    } else if (std::size_t(got) >= sizeof magic &&
               std::memcmp(header.magic, magic, sizeof magic) != 0) {
        why = "not a journal";
    } else if (std::size_t(got) < sizeof header) {
        why = "cut short: no header";
    } else if (sealed(header).crc != header.crc) {
        why = "header fails its checksum";
    } else if (const std::uint64_t held = recordCount(std::uint64_t(info.st_size));
               held < header.records) {
        why = "cut short: " + std::to_string(held) + " of " + blocks(header.records);
    } else {
        return header;
    }
    return std::nullopt;
}

std::uint64_t recordCount(std::uint64_t bytes) {
    return bytes < sizeof(Header) ? 0 : (bytes - sizeof(Header)) / recordSize;
}

// The records are read in batches: a version of a hard disk image may hold tens of
// thousands of them. A record cut short at the end (a share killed while appending it)
// is left out: its block was not written yet.
std::string
forEachRecord(int fd, const Header& header,
              const std::function<bool(std::uint64_t offset, std::string_view bytes)>& apply) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return unreadable();
    }
    constexpr std::uint64_t batch = 128;
    std::vector<char> buffer(batch * recordSize);
    const std::uint64_t count = recordCount(std::uint64_t(info.st_size));
    for (std::uint64_t first = 0; first < count; first += batch) {
        const std::uint64_t n = std::min(batch, count - first);
        const ssize_t got =
            readAt(fd, buffer.data(), n * recordSize, sizeof(Header) + first * recordSize);
        if (got != ssize_t(n * recordSize)) {
            return got < 0 ? unreadable() : "cut short while being read";
        }
        for (std::uint64_t i = 0; i < n; ++i) {
            RecordHead head{};
            const char* record = buffer.data() + i * recordSize;
            std::memcpy(&head, record, sizeof head);
            if (!sound(head, record, header)) {
                return "block record " + std::to_string(first + i + 1) + " of " +
                       std::to_string(count) + " fails its checks";
            }
            if (!apply(head.offset, std::string_view(record + sizeof head, head.length))) {
                return {};
            }
        }
    }
    return {};
}

} // namespace vorn::Journal
