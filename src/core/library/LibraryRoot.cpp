#include "library/LibraryRoot.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <optional>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vorn {
namespace {

// Set once openat2 turned out to be missing or filtered: later opens go straight to the walk.
std::atomic<bool> kernelUnusable{false};

} // namespace

LibraryRoot::LibraryRoot(const std::filesystem::path& folder)
    : m_folder(folder), m_fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
      m_walk(m_fd, folder) {}

LibraryRoot::~LibraryRoot() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool LibraryRoot::leadsTo(std::string_view relPath, std::uint64_t device, std::uint64_t inode,
                          struct stat& now) const {
    return m_fd >= 0 && fstatat(m_fd, std::string(relPath).c_str(), &now, 0) == 0 &&
           S_ISREG(now.st_mode) && now.st_dev == device && now.st_ino == inode;
}

namespace {

std::optional<LibraryRoot::Identity> folderIdentity(int dir, const char* path, int flags) {
    struct statx info {};
    if (statx(dir, path, flags, STATX_TYPE | STATX_INO | STATX_BTIME | STATX_MNT_ID, &info) != 0 ||
        !S_ISDIR(info.stx_mode)) {
        return std::nullopt;
    }
    const bool born = (info.stx_mask & STATX_BTIME) != 0;
    return LibraryRoot::Identity{
        std::uint64_t(makedev(info.stx_dev_major, info.stx_dev_minor)), info.stx_ino,
        (info.stx_mask & STATX_MNT_ID) != 0 ? info.stx_mnt_id : 0, born ? info.stx_btime.tv_sec : 0,
        born ? info.stx_btime.tv_nsec : 0};
}

} // namespace

std::optional<LibraryRoot::Identity> LibraryRoot::identity() const {
    return m_fd < 0 ? std::nullopt : folderIdentity(m_fd, "", AT_EMPTY_PATH);
}

std::optional<LibraryRoot::Identity> LibraryRoot::identityAt(const std::filesystem::path& path) {
    return folderIdentity(AT_FDCWD, path.c_str(), 0);
}

bool LibraryRoot::stillAtPath() const {
    const std::optional<Identity> held = identity();
    return held && held == identityAt(m_folder);
}

int LibraryRoot::open(std::string_view relPath, int flags) const {
    if (m_fd < 0) {
        errno = ENOENT;
        return -1;
    }
    flags |= O_CLOEXEC;
    if (kernelUnusable) {
        return m_walk.open(relPath, flags);
    }
    const int fd = openByKernel(relPath, flags);
    if (fd >= 0) {
        return fd;
    }
    // EXDEV: a link left the folder, or is absolute and may name it by its path, which
    // the kernel never allows. EAGAIN: a rename raced the lookup. ENOSYS, EPERM: no
    // openat2 here, or a filter refuses it (EPERM may also be the file's own answer).
    const int error = errno;
    if (error != EXDEV && error != EAGAIN && error != ENOSYS && error != EPERM) {
        return -1;
    }
    const int walked = m_walk.open(relPath, flags);
    if (error == ENOSYS || (error == EPERM && walked >= 0)) {
        kernelUnusable = true;
    }
    return walked;
}

int LibraryRoot::openByKernel(std::string_view relPath, int flags) const {
    open_how how{};
    how.flags = std::uint64_t(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const std::string path = relPath.empty() ? std::string(".") : std::string(relPath);
    return int(syscall(SYS_openat2, m_fd, path.c_str(), &how, sizeof how));
}

} // namespace vorn
