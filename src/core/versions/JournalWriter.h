#pragma once
// The journal of the write session in progress on one image, open for appending.
//
// Each record is handed to the kernel with one write before the image's own write is
// (the caller's order), and nothing is buffered in this process: a share killed at any
// moment leaves every record of the writes it answered in the page cache, on its way to
// the disk. There is no fsync: it would cost every first write of a block a disk flush,
// and a kill of the process does not need one (a power cut may lose the journal's tail,
// which the record count in the header then tells). The header is rewritten with one
// pwrite after each of the image's writes; it is never mapped into memory, so a journal
// cut short behind the share's back costs the session, not the process.

#include "platform/Date.h"
#include "versions/Journal.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace vorn {

class JournalWriter {
public:
    /// Creates the journal at `path`, which must not exist yet, for a session that starts
    /// at `start` on an image in the state `before`. Absent on failure, with `error` set.
    static std::unique_ptr<JournalWriter> create(const std::filesystem::path& path, Date start,
                                                 const Journal::Stamp& before,
                                                 std::error_code& error);
    /// Records in the journal at `path`, whose session ended, that the share went on to
    /// write the image without keeping a version, and why.
    [[nodiscard]] static std::error_code markLost(const std::filesystem::path& path,
                                                  std::error_code why);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    /// Appends the bytes, read from `image`, of every block of the stretch that the session
    /// has not saved yet. On failure the journal holds every record before the failed one.
    [[nodiscard]] std::error_code save(int image, std::uint64_t offset, std::uint64_t length);
    /// Records the image's state after a write the share made, with the records so far.
    [[nodiscard]] std::error_code noteWritten(const Journal::Stamp& stamp);
    /// Records that the session's blocks from now on are not kept, and why.
    [[nodiscard]] std::error_code noteLost(std::error_code why);
    /// False when the file was cut short or removed behind the share's back.
    bool intact() const;
    /// The state the image had when the session began.
    const Journal::Stamp& before() const { return m_header.before; }
    const std::filesystem::path& path() const { return m_path; }

private:
    JournalWriter(std::filesystem::path path, int fd, const Journal::Header& header);
    bool saved(std::uint64_t block) const;
    void markSaved(std::uint64_t block);
    std::error_code append(int image, std::uint64_t first, std::uint64_t count);

    std::filesystem::path m_path;
    int m_fd;
    Journal::Header m_header; // as last written to the file
    std::uint64_t m_records = 0;
    std::uint64_t m_end = sizeof(Journal::Header);
    std::vector<std::uint64_t> m_saved; // one bit per block of the image
    std::vector<char> m_buffer;
};

} // namespace vorn
