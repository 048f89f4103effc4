#include "versions/JournalWriter.h"

#include "platform/Files.h"
#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {
namespace {

std::error_code writeHeader(int fd, const Journal::Header& header) {
    const Journal::Header sealed = Journal::sealed(header);
    return Files::writeAt(
        fd, std::string_view(reinterpret_cast<const char*>(&sealed), sizeof sealed), 0);
}

} // namespace

std::unique_ptr<JournalWriter> JournalWriter::create(const std::filesystem::path& path, Date start,
                                                     const Journal::Stamp& before,
                                                     std::error_code& error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = lastSystemError();
        return nullptr;
    }
    Journal::Header header{};
    std::memcpy(header.magic, Journal::magic, sizeof header.magic);
    header.startNs = Journal::stampOf(0, start, 0).modifiedNs;
    header.before = before;
    header.last = before;
    error = writeHeader(fd, header);
    if (error) {
        close(fd);
        unlink(path.c_str()); // half a journal is no version
        return nullptr;
    }
    auto writer = std::unique_ptr<JournalWriter>(new JournalWriter(path, fd, header));
    writer->m_saved.resize((before.size / Journal::blockSize + 64) / 64);
    return writer;
}

// In place, over the header's own bytes: that works on a disk too full for a new file.
std::error_code JournalWriter::markLost(const std::filesystem::path& path, std::error_code why) {
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return lastSystemError();
    }
    std::string damage;
    std::optional<Journal::Header> header = Journal::readHeader(fd, damage);
    std::error_code error = std::make_error_code(std::errc::invalid_argument);
    if (header) {
        header->lostError = why.value();
        error = writeHeader(fd, *header);
    }
    close(fd);
    return error;
}

JournalWriter::JournalWriter(std::filesystem::path path, int fd, const Journal::Header& header)
    : m_path(std::move(path)), m_fd(fd), m_header(header) {}

JournalWriter::~JournalWriter() {
    close(m_fd);
}

std::error_code JournalWriter::noteWritten(const Journal::Stamp& stamp) {
    m_header.last = stamp;
    m_header.records = m_records;
    return writeHeader(m_fd, m_header);
}

std::error_code JournalWriter::noteLost(std::error_code why) {
    m_header.lostError = why.value();
    return writeHeader(m_fd, m_header);
}

bool JournalWriter::intact() const {
    struct stat info {};
    return fstat(m_fd, &info) == 0 && info.st_nlink > 0 && std::uint64_t(info.st_size) >= m_end;
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

std::error_code JournalWriter::save(int image, std::uint64_t offset, std::uint64_t length) {
    if (length == 0) {
        return {};
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
        if (const std::error_code error = append(image, block, run)) {
            return error;
        }
        block += run;
    }
    return {};
}

// One read of the run's old bytes and one write of its records, however many blocks.
std::error_code JournalWriter::append(int image, std::uint64_t first, std::uint64_t count) {
    const std::size_t bytes = std::size_t(count * Journal::blockSize);
    m_buffer.resize(bytes + std::size_t(count * Journal::recordSize));
    char* old = m_buffer.data();
    char* records = old + bytes;
    std::size_t got = 0;
    if (const std::error_code error =
            Files::readAt(image, old, bytes, first * Journal::blockSize, got)) {
        return error;
    }
    std::size_t size = 0;
    for (std::uint64_t i = 0; i < count && std::uint64_t(got) > i * Journal::blockSize; ++i) {
        const auto length = std::uint32_t(std::min<std::uint64_t>(
            Journal::blockSize, std::uint64_t(got) - i * Journal::blockSize));
        Journal::RecordHead head{(first + i) * Journal::blockSize, length, 0};
        char* record = records + size;
        std::memcpy(record, &head, sizeof head);
        std::memcpy(record + sizeof head, old + i * Journal::blockSize, length);
        std::memset(record + sizeof head + length, 0, Journal::blockSize - length);
        head.crc = Journal::recordCrc(record);
        std::memcpy(record, &head, sizeof head);
        size += Journal::recordSize;
    }
    if (const std::error_code error =
            Files::writeAt(m_fd, std::string_view(records, size), m_end)) {
        return error;
    }
    m_end += size;
    m_records += size / Journal::recordSize;
    for (std::uint64_t i = 0; i < count; ++i) {
        markSaved(first + i);
    }
    return {};
}

} // namespace vorn
