#include "server/OpenFiles.h"

#include "library/FolderWalk.h"
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {
namespace {

bool regularFile(int fd, struct stat& info) {
    return fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Whether this process may write into an open file: the kernel's answer, which knows
// about root, immutable files and read-only mounts as the mode bits alone do not.
bool writableFile(int fd) {
    return faccessat(fd, "", W_OK, AT_EACCESS | AT_EMPTY_PATH) == 0;
}

// st_blocks counts 512-byte units whatever the file system's block size.
bool sparse(const struct stat& info) {
    return std::uint64_t(info.st_blocks) * 512 < std::uint64_t(info.st_size);
}

} // namespace

OpenFiles::OpenFiles(std::chrono::steady_clock::duration maxAge, std::size_t capacity)
    : m_maxAge(maxAge), m_capacity(capacity) {}

// Files are opened with O_NONBLOCK because a name may lead to a named pipe, whose open
// would wait for a writer on the server's only thread; anything but a regular file is
// refused once open.
template <class Locate>
std::optional<OpenFile> OpenFiles::lookup(const std::string& key, Locate locate) {
    const auto now = std::chrono::steady_clock::now();
    const auto it = m_entries.find(key);
    if (it != m_entries.end() && now - it->second.checked < m_maxAge) {
        return it->second.file;
    }
    // Missing or due for a check: open the name again, and keep the descriptor already
    // open when the name still leads to the same file.
    const Located found = locate();
    auto handle = std::make_shared<const FileDescriptor>(found.fd);
    struct stat info {};
    if (!regularFile(found.fd, info)) {
        m_entries.erase(key);
        return std::nullopt;
    }
    if (it != m_entries.end() && it->second.device == info.st_dev &&
        it->second.inode == info.st_ino) {
        it->second.file.size = std::uint64_t(info.st_size);
        it->second.file.modified = Files::modified(info);
        it->second.file.canWrite = found.canWrite;
        it->second.checked = now;
        return it->second.file;
    }
    fcntl(found.fd, F_SETFL, fcntl(found.fd, F_GETFL) & ~O_NONBLOCK); // a plain file from here on
    OpenFile file{std::move(handle), found.path, std::uint64_t(info.st_size), Files::modified(info),
                  found.canWrite,    found.key,  std::uint64_t(info.st_ino)};
    return remember(key, Entry{std::move(file), now, info.st_dev, info.st_ino}).file;
}

OpenFiles::Entry& OpenFiles::remember(const std::string& key, Entry entry) {
    if (m_entries.size() >= m_capacity && !m_entries.contains(key)) {
        m_entries.clear(); // rare: more files in use than a card mounts at once
    }
    return m_entries.insert_or_assign(key, std::move(entry)).first->second;
}

// A library folder deleted and made again, or a stick pulled and put back, leaves the
// descriptor on a tree nothing else can reach: files are then opened at the path anew,
// and an entry opened through the old folder no longer matches what its name leads to.
const LibraryRoot& OpenFiles::rootFor(const std::filesystem::path& root) {
    if (!m_root || m_root->folder() != root || !m_root->stillAtPath()) {
        m_root = std::make_shared<const LibraryRoot>(root);
    }
    return *m_root;
}

std::optional<OpenFile> OpenFiles::library(std::string_view requestPath,
                                           const std::filesystem::path& root) {
    return lookup("r:" + std::string(requestPath), [&]() -> Located {
        const LibraryRoot& library = rootFor(root);
        for (const bool decode : {true, false}) {
            std::optional<std::string> relative = FolderWalk::requestRelPath(requestPath, decode);
            if (!relative) {
                continue;
            }
            const int fd = library.open(*relative, O_RDONLY | O_NONBLOCK);
            if (fd >= 0) {
                return {fd, root / *relative, std::move(relative), writableFile(fd)};
            }
        }
        return {};
    });
}

std::optional<OpenFile> OpenFiles::forWriting(const std::string& relPath,
                                              const std::filesystem::path& root) {
    const LibraryRoot& library = rootFor(root);
    const std::string key = "w:" + relPath;
    struct stat info {};
    const auto it = m_entries.find(key);
    if (it != m_entries.end() &&
        library.leadsTo(relPath, it->second.device, it->second.inode, info)) {
        // The size of this very file at this moment: one truncated since the last write
        // is caught here, before the range is checked against it.
        Entry& entry = it->second;
        entry.file.size = std::uint64_t(info.st_size);
        entry.file.modified = Files::modified(info);
        entry.file.sparse = sparse(info);
        entry.checked = std::chrono::steady_clock::now();
        return entry.file;
    }
    // The first write, or the image was replaced since (renamed over, or deleted and made
    // anew): a write goes into the file the path names now, never into one that nothing
    // can reach any more.
    m_entries.erase(key);
    const int fd = library.open(relPath, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        // Not writable (or gone): the file as it stands, for the answer that says so.
        auto atPath = std::make_shared<const FileDescriptor>(library.open(relPath, O_PATH));
        if (!regularFile(atPath->get(), info)) {
            return std::nullopt;
        }
        return OpenFile{std::move(atPath),         root / relPath, std::uint64_t(info.st_size),
                        Files::modified(info),     false,          relPath,
                        std::uint64_t(info.st_ino)};
    }
    auto handle = std::make_shared<const FileDescriptor>(fd);
    if (!regularFile(fd, info)) {
        return std::nullopt;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    OpenFile file{std::move(handle),          root / relPath, std::uint64_t(info.st_size),
                  Files::modified(info),      true,           relPath,
                  std::uint64_t(info.st_ino), sparse(info)};
    const auto now = std::chrono::steady_clock::now();
    return remember(key, Entry{std::move(file), now, info.st_dev, info.st_ino}).file;
}

std::optional<OpenFile> OpenFiles::file(const std::filesystem::path& path) {
    return lookup("f:" + path.string(), [&] {
        return Located{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK), path, std::nullopt,
                       false};
    });
}

std::optional<Journal::Stamp> OpenFiles::noteWritten(const OpenFile& file, Date when) {
    struct stat info {};
    if (!file.fd || fstat(file.fd->get(), &info) != 0) {
        return std::nullopt;
    }
    // Every entry of that file, those for reading included. One for reading that still
    // holds another file under that name (the image was replaced) is checked again at its
    // next use, so that a read after a write sees it.
    for (auto& [key, entry] : m_entries) {
        if (entry.device == info.st_dev && entry.inode == info.st_ino) {
            entry.file.modified = when;
        } else if (entry.file.path == file.path) {
            entry.checked = {};
        }
    }
    return Journal::stampOf(std::uint64_t(info.st_size), Files::modified(info),
                            std::uint64_t(info.st_ino));
}

} // namespace vorn
