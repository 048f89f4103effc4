#pragma once
// Converts library audio with ffmpeg into what the card plays (see FFmpegTool), cached in
// the "pcm" folder of the caches, in the background, each conversion within a time limit.

#include "audio/FFmpegTool.h"
#include "convert/ConversionCache.h"
#include "convert/ConversionLimit.h"
#include "convert/ConversionWorker.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vorn {

class AudioTranscoder {
public:
    /// Gets the log line of a failed conversion: "transcode failed: NAME (reason)".
    using FailedFn = std::function<void(const std::string& line)>;

    /// The transcoder with the ffmpeg found on this machine, caching below `caches`
    /// (XdgPaths::cacheDir() for the programs), `jobs` conversions at once.
    static std::unique_ptr<AudioTranscoder> found(const std::filesystem::path& caches,
                                                  unsigned jobs);
    /// A transcoder caching below `caches`, with a given ffmpeg (absent: none), time limit
    /// and number of conversions at once.
    AudioTranscoder(const std::filesystem::path& caches, std::optional<std::string> ffmpegPath,
                    ConversionLimit limit = {}, unsigned jobs = 1);
    AudioTranscoder(const AudioTranscoder&) = delete;
    AudioTranscoder& operator=(const AudioTranscoder&) = delete;

    /// The ffmpeg in use; absent when none was found.
    std::optional<std::string> ffmpegPath() const;
    /// Looks for ffmpeg again, and tries again what failed for want of it (or of room).
    void findTools();
    /// Tries again every conversion that failed, those the file itself made fail too.
    void retryFailures() { m_cache.forgetAllFailures(); }
    /// Where the converted audio of `source` lives (or would live).
    std::filesystem::path cachedPCM(const std::filesystem::path& source) const;
    /// The cache: its folder and the failure markers in it.
    const ConversionCache& cache() const { return m_cache; }
    /// Queues one conversion. `onReady` runs on a conversion thread after a conversion
    /// that succeeded, `onFailed` after one that failed (not after one that shutdown
    /// cancelled). Without ffmpeg, or after shutdown, nothing is queued.
    void transcode(const std::filesystem::path& source, std::function<void()> onReady,
                   FailedFn onFailed = {});
    /// Why the conversion of `source` failed, while that stands: until the source changes,
    /// or for failures that were not the file's fault, until `findTools` or a restart.
    std::optional<std::string> failure(const std::filesystem::path& source) const;
    /// Waits until the queued conversions have run.
    void drain() { m_worker.drain(); }
    /// Ends the conversions for good: drops the queued ones, stops the running ffmpegs
    /// and waits for the conversion threads to end.
    void shutdown() { m_worker.shutdown(); }

private:
    mutable std::mutex m_mutex;
    std::optional<std::string> m_ffmpegPath; // guarded by m_mutex
    ConversionCache m_cache;
    FFmpegTool m_tool;
    ConversionWorker m_worker; // last: its threads use everything above
};

} // namespace vorn
