#pragma once
// Open files of the share, kept open between requests. The card reads an image one
// 512-byte block at a time; resolving and opening the file for every block would cost
// more than the read itself. Entries are checked again after `maxAge`, and the server
// drops them all whenever it rescans the library.

#include "platform/Date.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vorn {

/// A file descriptor that closes itself.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

/// An open file and what serving it needs.
struct OpenFile {
    std::shared_ptr<const FileDescriptor> fd;
    std::filesystem::path url;
    std::uint64_t size = 0;
    std::optional<Date> modified;
    /// Opened for reading and writing (the share is writable and the file allows it).
    bool canWrite = false;
    /// A library file's relPath: the key its reads and writes are recorded under.
    std::optional<std::string> key;
};

class OpenFiles {
public:
    explicit OpenFiles(std::chrono::steady_clock::duration maxAge = std::chrono::seconds(2),
                       std::size_t capacity = 64);

    /// The library file a request path names, resolved safely below `root` and opened
    /// for reading, and for writing too when `writable`; absent when there is none.
    std::optional<OpenFile> library(std::string_view requestPath, const std::filesystem::path& root,
                                    bool writable);
    /// A file outside the library (a conversion cache file), opened for reading.
    std::optional<OpenFile> file(const std::filesystem::path& url);
    /// Notes that the share wrote into the file now, for its Last-Modified date.
    void noteWritten(const OpenFile& file, Date when);
    /// Forgets every entry (after a rescan, or when the writable setting changes).
    void clear() { m_entries.clear(); }

private:
    struct Entry {
        OpenFile file;
        std::chrono::steady_clock::time_point checked;
        std::uint64_t device = 0, inode = 0;
    };
    template <class Locate>
    std::optional<OpenFile> lookup(const std::string& key, bool writable, Locate locate);

    std::chrono::steady_clock::duration m_maxAge;
    std::size_t m_capacity;
    std::unordered_map<std::string, Entry> m_entries;
};

} // namespace vorn
