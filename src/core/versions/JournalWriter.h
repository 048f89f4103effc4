#pragma once
// The journal of the write session in progress on one image, open for appending.
//
// Each record is handed to the kernel with one write before the image's own write is
// (the caller's order), and nothing is buffered in this process: a share killed at any
// moment leaves every record of the writes it answered in the page cache, on its way to
// the disk. There is no fsync: it would cost every first write of a block a disk flush,
// and a kill of the process does not need one (a power cut may lose the journal's tail).
// The header is mapped into memory, so the image's stamp after every write is one store
// rather than a system call.

#include "platform/Date.h"
#include "versions/Journal.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace vorn {

class JournalWriter {
public:
    /// Creates the journal at `path`, which must not exist yet, for a session that starts
    /// at `start` on an image in the state `before`. Absent on failure, with errno set.
    static std::unique_ptr<JournalWriter> create(const std::filesystem::path& path, Date start,
                                                 const Journal::Stamp& before);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    /// Appends the bytes, read from `image`, of every block of the stretch that the session
    /// has not saved yet. False when reading or appending failed (errno tells why); the
    /// journal then holds every record before the failed one.
    bool save(int image, std::uint64_t offset, std::uint64_t length);
    /// Records the image's state after a write the share made.
    void noteWritten(const Journal::Stamp& stamp) { m_header->last = stamp; }
    /// The state the image had when the session began.
    const Journal::Stamp& before() const { return m_header->before; }
    const std::filesystem::path& path() const { return m_path; }

private:
    JournalWriter(std::filesystem::path path, int fd, Journal::Header* header);
    bool saved(std::uint64_t block) const;
    void markSaved(std::uint64_t block);
    bool append(int image, std::uint64_t first, std::uint64_t count);

    std::filesystem::path m_path;
    int m_fd;
    Journal::Header* m_header; // the file's first bytes, shared with the page cache
    std::uint64_t m_end = sizeof(Journal::Header);
    std::vector<std::uint64_t> m_saved; // one bit per block of the image
    std::vector<char> m_buffer;
};

} // namespace vorn
