#include "versions/JournalWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vorn {
namespace {

bool writeAt(int fd, const char* from, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t n = pwrite(fd, from, size, off_t(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        from += n;
        size -= std::size_t(n);
        offset += std::uint64_t(n);
    }
    return true;
}

} // namespace

std::unique_ptr<JournalWriter> JournalWriter::create(const std::filesystem::path& path, Date start,
                                                     const Journal::Stamp& before) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    Journal::Header header{};
    std::memcpy(header.magic, Journal::magic, sizeof header.magic);
    header.startNs = Journal::stampOf(0, start, 0).modifiedNs;
    header.before = before;
    header.last = before;
    void* mapped = MAP_FAILED;
    if (writeAt(fd, reinterpret_cast<const char*>(&header), sizeof header, 0)) {
        mapped = mmap(nullptr, sizeof header, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (mapped == MAP_FAILED) {
        const int error = errno;
        close(fd);
        unlink(path.c_str()); // half a journal is no version
        errno = error;
        return nullptr;
    }
    auto writer = std::unique_ptr<JournalWriter>(
        new JournalWriter(path, fd, static_cast<Journal::Header*>(mapped)));
    writer->m_saved.resize((before.size / Journal::blockSize + 64) / 64);
    return writer;
}

JournalWriter::JournalWriter(std::filesystem::path path, int fd, Journal::Header* header)
    : m_path(std::move(path)), m_fd(fd), m_header(header) {}

JournalWriter::~JournalWriter() {
    munmap(m_header, sizeof *m_header);
    close(m_fd);
}

bool JournalWriter::saved(std::uint64_t block) const {
    const std::uint64_t word = block / 64;
    return word < m_saved.size() && (m_saved[word] >> (block % 64) & 1) != 0;
}

void JournalWriter::markSaved(std::uint64_t block) {
    if (block / 64 >= m_saved.size()) {
        m_saved.resize(block / 64 + 1); // the image grew behind the share's back
    }
    m_saved[block / 64] |= std::uint64_t(1) << (block % 64);
}

bool JournalWriter::save(int image, std::uint64_t offset, std::uint64_t length) {
    if (length == 0) {
        return true;
    }
    const std::uint64_t last = (offset + length - 1) / Journal::blockSize;
    for (std::uint64_t block = offset / Journal::blockSize; block <= last;) {
        if (saved(block)) {
            ++block;
            continue;
        }
        std::uint64_t run = 1;
        while (block + run <= last && !saved(block + run)) {
            ++run;
        }
        if (!append(image, block, run)) {
            return false;
        }
        block += run;
    }
    return true;
}

// One read of the run's old bytes and one write of its records, however many blocks.
bool JournalWriter::append(int image, std::uint64_t first, std::uint64_t count) {
    const std::size_t bytes = std::size_t(count * Journal::blockSize);
    m_buffer.resize(bytes + std::size_t(count * Journal::recordSize));
    char* old = m_buffer.data();
    char* records = old + bytes;
    const ssize_t got = pread(image, old, bytes, off_t(first * Journal::blockSize));
    if (got < 0) {
        return false;
    }
    std::size_t size = 0;
    for (std::uint64_t i = 0; i < count && std::uint64_t(got) > i * Journal::blockSize; ++i) {
        const auto length = std::uint32_t(std::min<std::uint64_t>(
            Journal::blockSize, std::uint64_t(got) - i * Journal::blockSize));
        const Journal::RecordHead head{(first + i) * Journal::blockSize, length,
                                       Journal::recordTag};
        std::memcpy(records + size, &head, sizeof head);
        std::memcpy(records + size + sizeof head, old + i * Journal::blockSize, length);
        std::memset(records + size + sizeof head + length, 0, Journal::blockSize - length);
        size += Journal::recordSize;
    }
    if (!writeAt(m_fd, records, size, m_end)) {
        return false;
    }
    m_end += size;
    for (std::uint64_t i = 0; i < count; ++i) {
        markSaved(first + i);
    }
    return true;
}

} // namespace vorn
