#pragma once
// Converts library audio with ffmpeg into what the card plays: raw unsigned 8-bit mono
// samples at 21973 Hz, cached under the user's cache folder. One conversion at a time,
// in the background.

#include "platform/SerialQueue.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace vorn {

class AudioTranscoder {
public:
    /// The instance the whole program shares; looks for ffmpeg when first used.
    static AudioTranscoder& shared();
    /// A transcoder with a given ffmpeg (absent: none).
    explicit AudioTranscoder(std::optional<std::string> ffmpegPath);

    /// The ffmpeg in use; absent when none was found.
    std::optional<std::string> ffmpegPath() const;
    /// Looks for ffmpeg again.
    void refresh();
    /// Where the converted audio of `source` lives (or would live).
    static std::filesystem::path cachedPCM(const std::filesystem::path& source);
    /// The cache folder ($XDG_CACHE_HOME/VornImageManager/pcm).
    static const std::filesystem::path& cacheDir();
    /// Queues one conversion; `onReady` runs on the transcoder's thread after a conversion
    /// that succeeded, never otherwise. Without ffmpeg nothing is queued.
    void transcode(const std::filesystem::path& source, std::function<void()> onReady);
    /// Waits until the queued conversions have run.
    void drain() { m_queue.drain(); }

private:
    static void convert(const std::filesystem::path& source, const std::string& ffmpeg,
                        const std::function<void()>& onReady);

    mutable std::mutex m_mutex;
    std::optional<std::string> m_ffmpegPath; // guarded by m_mutex
    SerialQueue m_queue{"vorn-transcode", true};
};

} // namespace vorn
