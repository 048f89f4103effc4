#include "audio/AudioTranscoder.h"

#include "audio/AudioTrack.h"
#include "convert/CacheName.h"
#include "convert/ConversionTools.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"
#include "platform/XdgPaths.h"

#include <algorithm>

namespace vorn {

AudioTranscoder& AudioTranscoder::shared() {
    static AudioTranscoder instance(ConversionTools::findFFmpeg());
    return instance;
}

AudioTranscoder::AudioTranscoder(std::optional<std::string> ffmpegPath)
    : m_ffmpegPath(std::move(ffmpegPath)) {
    std::error_code ignored;
    std::filesystem::create_directories(cacheDir(), ignored);
}

std::optional<std::string> AudioTranscoder::ffmpegPath() const {
    std::lock_guard lock(m_mutex);
    return m_ffmpegPath;
}

void AudioTranscoder::refresh() {
    std::optional<std::string> found = ConversionTools::findFFmpeg();
    std::lock_guard lock(m_mutex);
    m_ffmpegPath = std::move(found);
}

const std::filesystem::path& AudioTranscoder::cacheDir() {
    static const std::filesystem::path dir = XdgPaths::cacheDir() / "pcm";
    return dir;
}

std::filesystem::path AudioTranscoder::cachedPCM(const std::filesystem::path& source) {
    return cacheDir() / CacheName::fileName(CacheName::key(source), ".pcm");
}

void AudioTranscoder::transcode(const std::filesystem::path& source,
                                std::function<void()> onReady) {
    const std::optional<std::string> ffmpeg = ffmpegPath();
    if (!ffmpeg) {
        return;
    }
    m_queue.async([source, ffmpeg = *ffmpeg, onReady = std::move(onReady)] {
        convert(source, ffmpeg, onReady);
    });
}

void AudioTranscoder::convert(const std::filesystem::path& source, const std::string& ffmpeg,
                              const std::function<void()>& onReady) {
    const std::filesystem::path dest = cachedPCM(source);
    if (Files::exists(dest)) {
        return; // converted meanwhile, for instance queued twice
    }
    const std::filesystem::path part = dest.string() + ".part";
    Files::removeQuietly(part);
    const std::optional<int> status = ChildProcess::run(
        ffmpeg, {"-nostdin", "-v", "error", "-y", "-i", source.string(), "-ac", "1", "-ar",
                 std::to_string(AudioTrack::rate), "-f", "u8", part.string()});
    if (!status) {
        return; // ffmpeg did not start: it left nothing to clean up
    }
    const std::optional<std::uint64_t> size = Files::size(part);
    if (*status != 0 || !size || *size == 0) {
        Files::removeQuietly(part);
        return;
    }
    // Served audio never holds a zero byte: the lowest sample is stored one step higher.
    if (std::optional<std::string> samples = Files::read(part)) {
        std::replace(samples->begin(), samples->end(), '\0', '\x01');
        Files::write(part, *samples);
    }
    Files::move(part, dest);
    if (onReady) {
        onReady();
    }
}

} // namespace vorn
