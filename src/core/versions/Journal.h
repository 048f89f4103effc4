#pragma once
// The undo journal of one write session of a disk image: the file a version is made of.
//
// A 64-byte header (the session's start, the image's stamp before the session's first
// write and after the share's latest one) followed by one fixed-size record per block the
// session wrote: the block's offset in the image, how many of its bytes it holds (the
// last block of an image may be short) and those bytes as they were before the session's
// first write to them. Fixed-size records make the count of changed blocks a division of
// the file's size, and a record cut short by a killed process is told apart by its length
// alone. The journal is a file of this computer only: numbers are in its own byte order.

#include "platform/Date.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

namespace vorn::Journal {

/// What tells one state of an image file from another without reading it.
struct Stamp {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // nanoseconds since the epoch
    std::uint64_t inode = 0;
    bool operator==(const Stamp&) const = default;
};

struct Header {
    char magic[8];
    std::int64_t startNs; // the session's start, nanoseconds since the epoch
    Stamp before;         // the image just before the session's first write
    Stamp last;           // the image after the latest write the share made in the session
};
static_assert(sizeof(Header) == 64);

struct RecordHead {
    std::uint64_t offset;
    std::uint32_t length; // 1 to 512
    std::uint32_t tag;
};

inline constexpr char magic[8] = {'V', 'O', 'R', 'N', 'V', 'J', '1', '\n'};
inline constexpr std::uint32_t recordTag = 0x4352'4a56; // "VJRC"
inline constexpr std::uint64_t blockSize = 512;
inline constexpr std::uint64_t recordSize = sizeof(RecordHead) + blockSize;

/// The stamp of an open file; absent when it cannot be read.
std::optional<Stamp> stampOf(int fd);
/// The stamp of the file at `path`, following links.
std::optional<Stamp> stampOf(const std::filesystem::path& path);
/// A stamp from what a caller already knows of the file.
Stamp stampOf(std::uint64_t size, Date modified, std::uint64_t inode);
/// The time a stamp or header holds.
Date dateOf(std::int64_t ns);

/// The header of a journal; absent when the file is no journal.
std::optional<Header> readHeader(int fd);
/// The number of complete records of a journal `bytes` long.
std::uint64_t recordCount(std::uint64_t bytes);
/// Calls `apply(offset, bytes)` for every complete record of the open journal, in file
/// order; false when reading failed, a record is malformed or `apply` returned false.
bool forEachRecord(int fd,
                   const std::function<bool(std::uint64_t offset, std::string_view bytes)>& apply);

} // namespace vorn::Journal
