#pragma once
// Converts library audio with ffmpeg into what the card plays: raw unsigned 8-bit mono
// samples at 21973 Hz, cached under the user's cache folder. One conversion at a time,
// in the background, each within a time limit.

#include "convert/ConversionCache.h"
#include "convert/ConversionLimit.h"
#include "platform/CancelFlag.h"
#include "platform/SerialQueue.h"

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

    /// The transcoder with the ffmpeg found on this machine.
    static std::unique_ptr<AudioTranscoder> found();
    /// A transcoder with a given ffmpeg (absent: none) and time limit.
    explicit AudioTranscoder(std::optional<std::string> ffmpegPath, ConversionLimit limit = {});
    /// Shuts down first.
    ~AudioTranscoder();
    AudioTranscoder(const AudioTranscoder&) = delete;
    AudioTranscoder& operator=(const AudioTranscoder&) = delete;

    /// The ffmpeg in use; absent when none was found.
    std::optional<std::string> ffmpegPath() const;
    /// Looks for ffmpeg again, and tries again what failed for want of it (or of room).
    void refresh();
    /// Tries again every conversion that failed, those the file itself made fail too.
    void retryFailures() { m_cache.forgetAllFailures(); }
    /// Where the converted audio of `source` lives (or would live).
    static std::filesystem::path cachedPCM(const std::filesystem::path& source);
    /// The cache folder ($XDG_CACHE_HOME/VornImageManager/pcm).
    static const std::filesystem::path& cacheDir();
    /// Queues one conversion. `onReady` runs on the transcoder's thread after a conversion
    /// that succeeded, `onFailed` after one that failed (not after one that shutdown
    /// cancelled). Without ffmpeg, or after shutdown, nothing is queued.
    void transcode(const std::filesystem::path& source, std::function<void()> onReady,
                   FailedFn onFailed = {});
    /// Why the conversion of `source` failed, while that stands: until the source changes,
    /// or for failures that were not the file's fault, until `refresh` or a restart.
    std::optional<std::string> failure(const std::filesystem::path& source) const;
    /// Waits until the queued conversions have run.
    void drain() { m_queue.drain(); }
    /// Ends the conversions for good: drops the queued ones, stops a running ffmpeg and
    /// waits for the worker thread to end.
    void shutdown();

private:
    struct Job;
    void run(const Job& job);
    std::optional<ConversionFailure> convert(const Job& job, const std::filesystem::path& dest);

    mutable std::mutex m_mutex;
    std::optional<std::string> m_ffmpegPath; // guarded by m_mutex
    const ConversionLimit m_limit;
    ConversionCache m_cache{cacheDir()};
    CancelFlag m_cancel;
    SerialQueue m_queue{"vorn-transcode", true}; // last: its worker uses everything above
};

} // namespace vorn
