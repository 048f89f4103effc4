#include "platform/FolderWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <optional>

namespace vorn {
namespace {

constexpr std::uint32_t kEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF;

} // namespace

FolderWatcher::FolderWatcher(std::filesystem::path root, ChangeFn onChange,
                             std::chrono::milliseconds latency)
    : m_onChange(std::move(onChange)), m_latency(latency) {
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_stop = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_inotify < 0 || m_stop < 0) {
        return;
    }
    addTree(root);
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
}

// Hidden folders are not part of the library, so their changes do not matter.
void FolderWatcher::addTree(const std::filesystem::path& dir) {
    const int wd = inotify_add_watch(m_inotify, dir.c_str(), kEvents | IN_ONLYDIR);
    if (wd < 0) {
        return;
    }
    m_dirs[wd] = dir;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".") && entry.is_directory(ec) && !entry.is_symlink(ec)) {
            addTree(entry.path());
        }
    }
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

void FolderWatcher::run() {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> due;
    for (;;) {
        int timeout = -1;
        if (due) {
            timeout = int(std::max<Clock::duration::rep>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(*due - Clock::now()).count()));
        }
        std::array<pollfd, 2> fds{pollfd{m_inotify, POLLIN, 0}, pollfd{m_stop, POLLIN, 0}};
        poll(fds.data(), fds.size(), timeout);
        if (fds[1].revents & POLLIN) {
            return;
        }
        if ((fds[0].revents & POLLIN) && readEvents() && !due) {
            due = Clock::now() + m_latency;
        }
        if (due && Clock::now() >= *due) {
            due.reset();
            m_onChange();
        }
    }
}

} // namespace vorn
