#include "audio/AudioTranscoder.h"

#include "convert/CacheName.h"
#include "convert/ConversionTools.h"

namespace vorn {

std::unique_ptr<AudioTranscoder> AudioTranscoder::found(const std::filesystem::path& caches,
                                                        unsigned jobs) {
    return std::make_unique<AudioTranscoder>(caches, ConversionTools::findFFmpeg(),
                                             ConversionLimit{}, jobs);
}

AudioTranscoder::AudioTranscoder(const std::filesystem::path& caches,
                                 std::optional<std::string> ffmpegPath, ConversionLimit limit,
                                 unsigned jobs)
    : m_ffmpegPath(std::move(ffmpegPath)), m_cache(caches / "pcm"),
      m_worker("vorn-transcode", m_cache, m_tool, limit, jobs) {}

std::optional<std::string> AudioTranscoder::ffmpegPath() const {
    std::lock_guard lock(m_mutex);
    return m_ffmpegPath;
}

void AudioTranscoder::findTools() {
    std::optional<std::string> found = ConversionTools::findFFmpeg();
    {
        std::lock_guard lock(m_mutex);
        m_ffmpegPath = std::move(found);
    }
    m_cache.forgetFailuresInMemory();
}

std::filesystem::path AudioTranscoder::cachedPCM(const std::filesystem::path& source) const {
    return m_cache.file(CacheName::key(source), ".pcm");
}

std::optional<std::string> AudioTranscoder::failure(const std::filesystem::path& source) const {
    return m_cache.failure(cachedPCM(source));
}

void AudioTranscoder::transcode(const std::filesystem::path& source, std::function<void()> onReady,
                                FailedFn onFailed) {
    const std::optional<std::string> ffmpeg = ffmpegPath();
    if (!ffmpeg) {
        return;
    }
    m_worker.queue(ConversionJob{
        source, cachedPCM(source), {*ffmpeg}, {}, false, std::move(onReady), std::move(onFailed)});
}

} // namespace vorn
