#include "platform/FolderWatcher.h"

#include "platform/ChangeBatch.h"
#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vorn {
namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
// What ends the root's watch, or leaves it on a folder that is no longer at the path.
constexpr std::uint32_t kRootLost = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

} // namespace

FolderWatcher::FolderWatcher(std::filesystem::path root, ChangeFn onChange,
                             std::chrono::milliseconds latency)
    : m_root(std::move(root)), m_onChange(std::move(onChange)), m_latency(latency) {
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_stop = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_inotify < 0 || m_stop < 0) {
        return;
    }
    m_mounts = open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    watchRoot();
    m_thread = std::thread([this] { run(); });
}

FolderWatcher::~FolderWatcher() {
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_stop, &one, sizeof one);
        m_thread.join();
    }
    if (m_inotify >= 0) {
        close(m_inotify);
    }
    if (m_stop >= 0) {
        close(m_stop);
    }
    if (m_mounts >= 0) {
        close(m_mounts);
    }
}

std::optional<FolderWatcher::RootId> FolderWatcher::rootIdAt(const std::filesystem::path& path) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_MNT_ID, &info) != 0) {
        return std::nullopt;
    }
    return RootId{std::uint64_t(makedev(info.stx_dev_major, info.stx_dev_minor)), info.stx_ino,
                  (info.stx_mask & STATX_MNT_ID) != 0 ? info.stx_mnt_id : 0};
}

// True when a folder is at the root's path and now watched.
bool FolderWatcher::watchRoot() {
    addTree(m_root);
    const auto root = std::find_if(m_dirs.begin(), m_dirs.end(),
                                   [&](const auto& dir) { return dir.second == m_root; });
    m_rootWatch = root == m_dirs.end() ? -1 : root->first;
    m_rootId = m_rootWatch >= 0 ? rootIdAt(m_root) : std::nullopt;
    return m_rootWatch >= 0;
}

// The table must be read for the next change to be signalled. True when the path now
// names another folder than the one watched: a file system mounted over it.
bool FolderWatcher::mountsChanged() {
    char buffer[4096];
    lseek(m_mounts, 0, SEEK_SET);
    while (read(m_mounts, buffer, sizeof buffer) > 0) {
    }
    if (m_rootWatch < 0 || rootIdAt(m_root) == m_rootId) {
        return false;
    }
    forgetRoot();
    watchRoot();
    return true;
}

// The watches left may sit on a folder renamed elsewhere: none of them is trusted.
void FolderWatcher::forgetRoot() {
    for (const auto& [wd, dir] : m_dirs) {
        inotify_rm_watch(m_inotify, wd);
    }
    m_dirs.clear();
    m_rootWatch = -1;
}

// Hidden folders are not part of the library, so their changes do not matter.
void FolderWatcher::addTree(const std::filesystem::path& dir) {
    const int wd = inotify_add_watch(m_inotify, dir.c_str(), kEvents | IN_ONLYDIR);
    if (wd < 0) {
        return;
    }
    m_dirs[wd] = dir;
    Files::forEachEntry(dir, [this](const std::filesystem::directory_entry& entry) {
        std::error_code ec;
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".") && entry.is_directory(ec) && !entry.is_symlink(ec)) {
            addTree(entry.path());
        }
    });
}

// True when something in the library changed.
bool FolderWatcher::readEvents() {
    alignas(inotify_event) std::array<char, 16384> buffer;
    bool changed = false;
    for (;;) {
        const ssize_t n = read(m_inotify, buffer.data(), buffer.size());
        if (n <= 0) {
            return changed;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->wd == m_rootWatch && (event->mask & kRootLost) != 0) {
                forgetRoot();
                changed = true;
                continue;
            }
            const std::string name = event->len > 0 ? event->name : "";
            if (name.starts_with(".")) {
                continue;
            }
            changed = true;
            const auto dir = m_dirs.find(event->wd);
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO)) &&
                dir != m_dirs.end()) {
                addTree(dir->second / name); // a new folder: watch it and what it holds
            }
            if (event->mask & IN_IGNORED) {
                m_dirs.erase(event->wd);
            }
        }
    }
}

// The owner's callback must not end the watch, nor the process: it runs on our thread.
void FolderWatcher::report() {
    try {
        m_onChange();
    } catch (const std::exception& e) {
        std::cerr << "vorn: a change in " << m_root.string() << " was not handled: " << e.what()
                  << std::endl;
    }
}

void FolderWatcher::run() {
    using Clock = ChangeBatch::Clock;
    ChangeBatch batch(m_latency);
    for (;;) {
        Clock::duration wait = m_rootWatch < 0 ? Clock::duration(retry) : Clock::duration::max();
        if (const auto due = batch.due()) {
            wait = std::min(wait, std::max(Clock::duration::zero(), *due - Clock::now()));
        }
        const int timeout = wait == Clock::duration::max()
                                ? -1
                                : int(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
        std::array<pollfd, 3> fds{pollfd{m_inotify, POLLIN, 0}, pollfd{m_stop, POLLIN, 0},
                                  pollfd{m_mounts, POLLPRI, 0}};
        poll(fds.data(), fds.size(), timeout);
        if (fds[1].revents & POLLIN) {
            return;
        }
        bool changed = (fds[0].revents & POLLIN) && readEvents();
        changed = ((fds[2].revents & (POLLPRI | POLLERR)) && mountsChanged()) || changed;
        const bool back = m_rootWatch < 0 && watchRoot();
        if (changed || back) {
            batch.changed(Clock::now());
        }
        if (batch.take(Clock::now())) {
            report();
        }
    }
}

} // namespace vorn
