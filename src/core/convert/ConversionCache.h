#pragma once
// The cache folder of one kind of conversion: where a source's converted file lives, which
// conversions failed, and what killed runs left there. Asking where a file is and whether
// it failed starts no thread and makes no folder: listing the library needs neither.
//
// A failure is remembered by the cache file the conversion would have made. The cache
// file's name hashes the source's real path, its modification time and the settings, so a
// failure stands until the source changes: a file that makes the converter fail is neither
// retried at every rescan nor at every start.

#include "convert/ConversionFailure.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

class ConversionCache {
public:
    /// The cache in `dir`, which is neither made nor looked at yet.
    explicit ConversionCache(std::filesystem::path dir);

    /// Before converting: creates the folder (an error is ignored) and, the first time this
    /// process uses it and only while no other process does, removes what killed runs left
    /// there.
    void prepare();

    const std::filesystem::path& dir() const { return m_dir; }
    /// The cache file named by a key text (see CacheName), whether it exists or not.
    std::filesystem::path file(std::string_view keyText, std::string_view extension) const;
    /// Whether new files can be made in the folder.
    bool writable() const;
    /// Whether the folder's file system has no room left to speak of.
    bool full() const;

    /// Why the conversion into `cacheFile` failed, while that stands.
    std::optional<std::string> failure(const std::filesystem::path& cacheFile) const;
    /// Remembers a failure: a lasting one in a marker file beside the cache file, the
    /// others (and lasting ones whose marker cannot be written) in memory.
    void remember(const std::filesystem::path& cacheFile, const ConversionFailure& failure);
    /// Forgets the failure of `cacheFile`, after a conversion that succeeded.
    void forget(const std::filesystem::path& cacheFile);
    /// Forgets the failures held in memory, so that their conversions are tried again.
    void forgetFailuresInMemory();
    /// Forgets every failure, the markers of lasting ones too: the user asked for another try.
    void forgetAllFailures();

    /// The marker of a failed conversion: the cache file's name + ".failed", holding the
    /// reason.
    static std::filesystem::path marker(const std::filesystem::path& cacheFile);
    /// Whether a file in a cache folder is a partial file of an unfinished conversion.
    static bool isLeftover(std::string_view fileName);

private:
    std::filesystem::path m_dir;
    mutable std::mutex m_mutex;
    std::map<std::filesystem::path, std::string> m_failures; // guarded by m_mutex
};

} // namespace vorn
