#pragma once
// Watches a folder and everything below it (inotify) and reports changes in batches:
// one call 0.6 s after the first change of a burst, so copying a hundred files into the
// library causes one rescan, not a hundred.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace vorn {

class FolderWatcher {
public:
    using ChangeFn = std::function<void()>;

    /// Starts watching `root`; `onChange` runs on the watcher's own thread.
    FolderWatcher(std::filesystem::path root, ChangeFn onChange,
                  std::chrono::milliseconds latency = std::chrono::milliseconds(600));
    /// Stops watching and joins the thread.
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    /// False when inotify is not available; the library is then not watched.
    bool watching() const { return m_inotify >= 0; }

private:
    void addTree(const std::filesystem::path& dir);
    void run();
    bool readEvents();

    ChangeFn m_onChange;
    std::chrono::milliseconds m_latency;
    int m_inotify = -1;
    int m_stop = -1; // an eventfd that wakes the thread to end it
    std::map<int, std::filesystem::path> m_dirs; // watch descriptor to folder
    std::thread m_thread;
};

} // namespace vorn
