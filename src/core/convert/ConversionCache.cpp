#include "convert/ConversionCache.h"

#include "convert/CacheName.h"
#include "platform/Files.h"

#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vorn {
namespace {

void removeLeftovers(const std::filesystem::path& dir) {
    Files::forEachEntry(dir, [](const std::filesystem::directory_entry& entry) {
        if (ConversionCache::isLeftover(entry.path().filename().string())) {
            Files::removeQuietly(entry.path());
        }
    });
}

// Every process that converts into a folder holds a shared lock on its ".lock" file for as
// long as it runs. Partial files are removed only under the exclusive lock, that is while
// no other process (the desktop program beside `vorn-share serve`) may be writing them; a
// folder is cleaned once per process, when it is first used.
void removeLeftoversOnce(const std::filesystem::path& dir) {
    static std::mutex mutex;
    static std::set<std::filesystem::path> held; // the lock descriptors stay open for good
    std::lock_guard lock(mutex);
    if (held.contains(dir)) {
        return;
    }
    const int fd = open((dir / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return; // a folder we cannot write into holds nothing of ours to remove either
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        removeLeftovers(dir);
    }
    flock(fd, LOCK_SH);
    held.insert(dir);
}

} // namespace

ConversionCache::ConversionCache(std::filesystem::path dir) : m_dir(std::move(dir)) {}

void ConversionCache::prepare() {
    std::error_code ignored;
    std::filesystem::create_directories(m_dir, ignored);
    removeLeftoversOnce(m_dir);
}

std::filesystem::path ConversionCache::file(std::string_view keyText,
                                            std::string_view extension) const {
    return m_dir / CacheName::fileName(keyText, extension);
}

bool ConversionCache::writable() const {
    std::error_code ec;
    return std::filesystem::is_directory(m_dir, ec) && access(m_dir.c_str(), W_OK) == 0;
}

bool ConversionCache::full() const {
    struct statvfs info {};
    constexpr unsigned long long room = 1 << 20; // less than a megabyte holds no conversion
    return statvfs(m_dir.c_str(), &info) == 0 &&
           static_cast<unsigned long long>(info.f_bavail) * info.f_frsize < room;
}

std::optional<std::string> ConversionCache::failure(const std::filesystem::path& cacheFile) const {
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_failures.find(cacheFile); it != m_failures.end()) {
            return it->second;
        }
    }
    std::optional<std::string> reason = Files::read(marker(cacheFile));
    if (reason) {
        while (!reason->empty() && (reason->back() == '\n' || reason->back() == '\r')) {
            reason->pop_back();
        }
        if (reason->empty()) {
            reason = "failed before";
        }
    }
    return reason;
}

void ConversionCache::remember(const std::filesystem::path& cacheFile,
                               const ConversionFailure& failure) {
    using Keep = ConversionFailure::Keep;
    if (failure.keep == Keep::no ||
        (failure.keep == Keep::lasting && Files::write(marker(cacheFile), failure.reason + "\n"))) {
        return;
    }
    if (failure.keep == Keep::lasting) {
        Files::removeQuietly(marker(cacheFile)); // a marker begun on a full disk
    }
    std::lock_guard lock(m_mutex);
    m_failures[cacheFile] = failure.reason;
}

void ConversionCache::forget(const std::filesystem::path& cacheFile) {
    Files::removeQuietly(marker(cacheFile));
    std::lock_guard lock(m_mutex);
    m_failures.erase(cacheFile);
}

void ConversionCache::forgetFailuresInMemory() {
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}

void ConversionCache::forgetAllFailures() {
    forgetFailuresInMemory();
    Files::forEachEntry(m_dir, [](const std::filesystem::directory_entry& entry) {
        if (entry.path().filename().string().ends_with(".failed")) {
            Files::removeQuietly(entry.path());
        }
    });
}

std::filesystem::path ConversionCache::marker(const std::filesystem::path& cacheFile) {
    return cacheFile.string() + ".failed";
}

bool ConversionCache::isLeftover(std::string_view fileName) {
    // "<name>.part" and its preview "<name>.part_preview.png"; the picture converter's own
    // temporary files (".img2shr-XXXX.part") end in ".part" too.
    return fileName.ends_with(".part") || fileName.ends_with(".part_preview.png");
}

} // namespace vorn
