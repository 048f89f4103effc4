#pragma once
// Open files of the share, kept open between requests. The card reads an image one
// 512-byte block at a time; resolving and opening the file for every block would cost
// more than the read itself. Entries for reading are checked again after `maxAge`, those
// for writing before every write; the server drops them all whenever it rescans the
// library. Library files are opened through the library's own descriptor, never by a
// name checked beforehand.

#include "library/LibraryRoot.h"
#include "platform/Date.h"
#include "platform/FileDescriptor.h"
#include "versions/Journal.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vorn {

/// An open file and what serving it needs.
struct OpenFile {
    std::shared_ptr<const FileDescriptor> fd;
    std::filesystem::path path;
    std::uint64_t size = 0;
    std::optional<Date> modified;
    /// Whether this process may write into the file; for `OpenFiles::forWriting`, whether
    /// the descriptor was opened for writing.
    bool canWrite = false;
    /// A library file's relPath: the key its reads and writes are recorded under.
    std::optional<std::string> key;
    /// The file's inode: with `size` and `modified`, what tells whether someone else
    /// changed an image since the share last wrote it.
    std::uint64_t inode = 0;
    /// Whether the file has holes (fewer blocks than its size takes), checked for
    /// `OpenFiles::forWriting` only: a write into a hole needs blocks the disk may not have.
    bool sparse = false;
};

class OpenFiles {
public:
    explicit OpenFiles(std::chrono::steady_clock::duration maxAge = std::chrono::seconds(2),
                       std::size_t capacity = 64);

    /// The library file a request path names, opened for reading strictly inside `root`:
    /// the path decoded once more or, when that names nothing, as it stands (a file name
    /// that itself holds "%" escapes). Absent when there is none.
    std::optional<OpenFile> library(std::string_view requestPath,
                                    const std::filesystem::path& root);
    /// The library file at `relPath`, opened for reading and writing strictly inside
    /// `root` and checked now, never trusted from an earlier request: the descriptor is
    /// the file the path names at this moment and `size` its size now. `canWrite` is false
    /// when the file refuses writes; absent when there is no such regular file.
    std::optional<OpenFile> forWriting(const std::string& relPath,
                                       const std::filesystem::path& root);
    /// A file outside the library (a conversion cache file), opened for reading.
    std::optional<OpenFile> file(const std::filesystem::path& path);
    /// Notes that the share wrote into the file now, for its Last-Modified date and for
    /// reads of its path that still hold a file it replaced. Returns the file's stamp
    /// after the write (for its versions); absent when it cannot be read.
    std::optional<Journal::Stamp> noteWritten(const OpenFile& file, Date when);
    /// Forgets every entry and the library's descriptor (after a rescan, or when the
    /// writable setting changes).
    void clear() {
        m_entries.clear();
        m_root.reset();
    }

private:
    struct Entry {
        OpenFile file;
        std::chrono::steady_clock::time_point checked;
        std::uint64_t device = 0, inode = 0;
    };
    /// What a lookup found: a descriptor to own (-1: nothing) and the file's names.
    struct Located {
        int fd = -1;
        std::filesystem::path path;
        std::optional<std::string> key;
        bool canWrite = false;
    };
    template <class Locate> std::optional<OpenFile> lookup(const std::string& key, Locate locate);
    Entry& remember(const std::string& key, Entry entry);
    const LibraryRoot& rootFor(const std::filesystem::path& root);

    std::chrono::steady_clock::duration m_maxAge;
    std::size_t m_capacity;
    std::unordered_map<std::string, Entry> m_entries;
    std::shared_ptr<const LibraryRoot> m_root;
};

} // namespace vorn
