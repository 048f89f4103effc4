#pragma once
// Watches a folder and everything below it (inotify) and reports changes in batches:
// one call 0.6 s after the first change of a burst, so copying a hundred files into the
// library causes one rescan, not a hundred. The folder is followed by its path: when it
// is deleted, renamed or unmounted that is a change, and once a folder appears at the path
// again (made anew, a stick put back) it is watched and reported as a change too. A file
// system mounted over the path sends no inotify event: the mount table is watched for it.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <thread>

namespace vorn {

class FolderWatcher {
public:
    using ChangeFn = std::function<void()>;

    /// Starts watching `root`; `onChange` runs on the watcher's own thread. An exception
    /// escaping it is written to stderr and the watch goes on.
    FolderWatcher(std::filesystem::path root, ChangeFn onChange,
                  std::chrono::milliseconds latency = std::chrono::milliseconds(600));
    /// Stops watching and joins the thread.
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    /// False when inotify is not available; the library is then not watched.
    bool watching() const { return m_inotify >= 0; }

    /// How often a folder missing at the path is looked for.
    static constexpr std::chrono::milliseconds retry{250};

private:
    /// Device, inode and mount of a folder: what tells a new mount at the path.
    struct RootId {
        std::uint64_t device = 0, inode = 0, mount = 0;
        bool operator==(const RootId&) const = default;
    };
    static std::optional<RootId> rootIdAt(const std::filesystem::path& path);

    bool watchRoot();
    void forgetRoot();
    bool mountsChanged();
    void addTree(const std::filesystem::path& dir);
    void run();
    bool readEvents();
    void report();

    std::filesystem::path m_root;
    ChangeFn m_onChange;
    std::chrono::milliseconds m_latency;
    int m_inotify = -1;
    int m_stop = -1;      // an eventfd that wakes the thread to end it
    int m_rootWatch = -1; // the root's watch descriptor; -1 while no folder is at the path
    std::optional<RootId> m_rootId; // the folder watched as the root
    int m_mounts = -1;              // /proc/self/mounts, which polls readable-priority on a change
    std::map<int, std::filesystem::path> m_dirs; // watch descriptor to folder
    std::thread m_thread;
};

} // namespace vorn
