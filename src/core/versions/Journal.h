#pragma once
// The undo journal of one write session of a disk image: the file a version is made of.
//
// An 80-byte header (the session's start, the image's stamp before the session's first
// write and after the share's latest one, how many records the journal holds at least)
// followed by one fixed-size record per block the session wrote: the block's offset in
// the image, how many of its bytes it holds (the last block of an image may be short)
// and those bytes as they were before the session's first write to them. Fixed-size
// records make the count of changed blocks a division of the file's size, and a record
// cut short by a killed process is told apart by its length alone.
//
// A journal proves itself: the header and every record carry a CRC-32C, and the header
// counts the records, so a journal that lost its tail (a power cut), a changed byte or a
// header scribbled on is found damaged instead of restoring wrong bytes. The count is
// written after the image's write, so a share killed in between leaves records beyond
// it: they are whole and checked like the others. The journal is a file of this
// computer only: numbers are in its own byte order.

#include "platform/Date.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
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
    std::int64_t startNs;   // the session's start, nanoseconds since the epoch
    Stamp before;           // the image just before the session's first write
    Stamp last;             // the image after the latest write the share made in the session
    std::uint64_t records;  // the records the journal holds at least
    std::int32_t lostError; // errno of a write the share made without keeping its blocks
    std::uint32_t crc;      // CRC-32C of the bytes before it
};
static_assert(sizeof(Header) == 80);

struct RecordHead {
    std::uint64_t offset;
    std::uint32_t length; // 1 to 512
    std::uint32_t crc;    // CRC-32C of the offset, the length and the 512 bytes after them
};

inline constexpr char magic[8] = {'V', 'O', 'R', 'N', 'V', 'J', '2', '\n'};
/// Journals of earlier builds, without checksums: they cannot prove themselves.
inline constexpr char olderMagic[8] = {'V', 'O', 'R', 'N', 'V', 'J', '1', '\n'};
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

/// `header` with its checksum filled in.
Header sealed(Header header);
/// The checksum a record of `recordSize` bytes must carry.
std::uint32_t recordCrc(const char* record);

/// Opens a journal for reading without ever waiting (a FIFO named like one); -1 with
/// `why` set when it is no regular file or cannot be opened.
int openForReading(const std::filesystem::path& path, std::string& why);
/// The header of an open journal, checked: its form, its checksum, and that the file
/// holds the records it counts. Absent with `why` set ("cut short: 3 of 4 blocks").
std::optional<Header> readHeader(int fd, std::string& why);
/// The number of complete records of a journal `bytes` long.
std::uint64_t recordCount(std::uint64_t bytes);
/// Calls `apply(offset, bytes)` for every complete record of the open journal with that
/// header, in file order, checking each first (its checksum, and a block inside the
/// image's size before the session). Returns why it stopped at a damaged record or could
/// not read; empty when it went through or `apply` returned false.
std::string
forEachRecord(int fd, const Header& header,
              const std::function<bool(std::uint64_t offset, std::string_view bytes)>& apply);

} // namespace vorn::Journal
