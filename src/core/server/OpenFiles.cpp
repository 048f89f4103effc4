#include "server/OpenFiles.h"

#include "library/FolderWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {
namespace {

Date modificationDate(const struct stat& info) {
    return Date(std::chrono::seconds(info.st_mtim.tv_sec)) +
           std::chrono::duration_cast<Date::duration>(
               std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

// Opens a regular file; for a writable share read-write when the file permits it.
// O_NONBLOCK because the name may lead to a named pipe, whose open for reading would
// wait for a writer on the server's only thread; anything but a regular file is refused
// once open.
std::optional<OpenFile> openFile(const std::filesystem::path& url, bool writable,
                                 struct stat& info) {
    int fd = -1;
    bool canWrite = false;
    if (writable) {
        fd = open(url.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        canWrite = fd >= 0;
    }
    if (fd < 0) {
        fd = open(url.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) {
        return std::nullopt;
    }
    auto handle = std::make_shared<const FileDescriptor>(fd);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK); // a plain file from here on
    return OpenFile{std::move(handle),      url,      std::uint64_t(info.st_size),
                    modificationDate(info), canWrite, std::nullopt};
}

} // namespace

FileDescriptor::~FileDescriptor() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

OpenFiles::OpenFiles(std::chrono::steady_clock::duration maxAge, std::size_t capacity)
    : m_maxAge(maxAge), m_capacity(capacity) {}

template <class Locate>
std::optional<OpenFile> OpenFiles::lookup(const std::string& key, bool writable, Locate locate) {
    const auto now = std::chrono::steady_clock::now();
    const auto it = m_entries.find(key);
    if (it != m_entries.end() && now - it->second.checked < m_maxAge) {
        return it->second.file;
    }
    // Missing or due for a check: locate the file again, and keep the open descriptor
    // only when the name still leads to the same file.
    const std::optional<std::filesystem::path> url = locate();
    struct stat info {};
    if (!url || stat(url->c_str(), &info) != 0) {
        m_entries.erase(key);
        return std::nullopt;
    }
    if (it != m_entries.end() && it->second.device == info.st_dev &&
        it->second.inode == info.st_ino && S_ISREG(info.st_mode)) {
        it->second.file.size = std::uint64_t(info.st_size);
        it->second.file.modified = modificationDate(info);
        it->second.checked = now;
        return it->second.file;
    }
    std::optional<OpenFile> file = openFile(*url, writable, info);
    if (!file) {
        m_entries.erase(key);
        return std::nullopt;
    }
    if (m_entries.size() >= m_capacity) {
        m_entries.clear(); // rare: more files in use than a card mounts at once
    }
    m_entries[key] = Entry{*file, now, std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)};
    return file;
}

std::optional<OpenFile> OpenFiles::library(std::string_view requestPath,
                                           const std::filesystem::path& root, bool writable) {
    std::string key = writable ? "w:" : "r:";
    key += requestPath;
    std::optional<OpenFile> file =
        lookup(key, writable, [&] { return FolderWalk::resolve(requestPath, root); });
    if (file && !file->key) {
        // Worked out once per opened file: the path arithmetic would cost more than a
        // block read. Stored in the entry so later lookups carry it.
        file->key = FolderWalk::relPath(file->url, root);
        if (const auto it = m_entries.find(key); it != m_entries.end()) {
            it->second.file.key = file->key;
        }
    }
    return file;
}

std::optional<OpenFile> OpenFiles::file(const std::filesystem::path& url) {
    return lookup("f:" + url.string(), false, [&] { return std::optional(url); });
}

void OpenFiles::noteWritten(const OpenFile& file, Date when) {
    for (auto& [key, entry] : m_entries) {
        if (entry.file.fd == file.fd) {
            entry.file.modified = when;
        }
    }
}

} // namespace vorn
