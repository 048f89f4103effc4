#include "audio/AudioTranscoder.h"

#include "audio/AudioTrack.h"
#include "convert/CacheName.h"
#include "convert/ConversionTools.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"
#include "platform/XdgPaths.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace vorn {
namespace {

using Keep = ConversionFailure::Keep;

// Checks the partial file ffmpeg wrote and moves it into place. Served audio never holds
// a zero byte: the lowest sample is stored one step higher.
std::optional<ConversionFailure> store(const std::filesystem::path& part,
                                       const std::filesystem::path& dest) {
    const std::optional<std::uint64_t> size = Files::size(part);
    if (!size) {
        return ConversionFailure{"no output", Keep::lasting};
    }
    if (*size == 0) {
        return ConversionFailure{"output of 0 bytes", Keep::lasting};
    }
    if (std::optional<std::string> samples = Files::read(part)) {
        std::replace(samples->begin(), samples->end(), '\0', '\x01');
        if (!Files::write(part, *samples)) {
            return ConversionFailure{errno == ENOSPC ? "disk full" : "cannot write the cache",
                                     Keep::thisRun};
        }
    }
    if (!Files::move(part, dest)) {
        return ConversionFailure{"cannot write the cache", Keep::thisRun};
    }
    return std::nullopt;
}

} // namespace

struct AudioTranscoder::Job {
    std::filesystem::path source;
    std::string ffmpeg;
    std::function<void()> onReady;
    FailedFn onFailed;
};

std::unique_ptr<AudioTranscoder> AudioTranscoder::found() {
    return std::make_unique<AudioTranscoder>(ConversionTools::findFFmpeg());
}

AudioTranscoder::AudioTranscoder(std::optional<std::string> ffmpegPath, ConversionLimit limit)
    : m_ffmpegPath(std::move(ffmpegPath)), m_limit(limit) {}

AudioTranscoder::~AudioTranscoder() {
    shutdown();
}

std::optional<std::string> AudioTranscoder::ffmpegPath() const {
    std::lock_guard lock(m_mutex);
    return m_ffmpegPath;
}

void AudioTranscoder::refresh() {
    std::optional<std::string> found = ConversionTools::findFFmpeg();
    {
        std::lock_guard lock(m_mutex);
        m_ffmpegPath = std::move(found);
    }
    m_cache.forgetFailuresInMemory();
}

const std::filesystem::path& AudioTranscoder::cacheDir() {
    static const std::filesystem::path dir = XdgPaths::cacheDir() / "pcm";
    return dir;
}

std::filesystem::path AudioTranscoder::cachedPCM(const std::filesystem::path& source) {
    return cacheDir() / CacheName::fileName(CacheName::key(source), ".pcm");
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
    m_queue.async(
        [this, job = Job{source, *ffmpeg, std::move(onReady), std::move(onFailed)}] { run(job); });
}

void AudioTranscoder::shutdown() {
    m_queue.close();
    m_cancel.raise();
    m_queue.stop();
}

void AudioTranscoder::run(const Job& job) {
    const std::filesystem::path dest = cachedPCM(job.source);
    if (Files::exists(dest) || m_cache.failure(dest) || !Files::exists(job.source)) {
        return; // converted or failed meanwhile (queued twice), or no longer there
    }
    const std::optional<ConversionFailure> failure = convert(job, dest);
    if (!failure) {
        if (job.onReady) {
            job.onReady();
        }
        return;
    }
    m_cache.remember(dest, *failure);
    if (failure->keep != Keep::no && job.onFailed) {
        job.onFailed("transcode failed: " + job.source.filename().string() + " (" +
                     failure->reason + ")");
    }
}

std::optional<ConversionFailure> AudioTranscoder::convert(const Job& job,
                                                          const std::filesystem::path& dest) {
    if (!m_cache.writable()) {
        return ConversionFailure{"cache folder not writable", Keep::thisRun};
    }
    if (access(job.source.c_str(), R_OK) != 0) {
        return ConversionFailure{"cannot read the file", Keep::thisRun};
    }
    const std::filesystem::path part = dest.string() + ".part";
    Files::removeQuietly(part);
    const std::chrono::milliseconds limit = m_limit.forSource(job.source);
    const std::optional<ChildProcess::Outcome> outcome =
        ChildProcess::run(job.ffmpeg,
                          {"-nostdin", "-v", "error", "-y", "-i", job.source.string(), "-ac", "1",
                           "-ar", std::to_string(AudioTrack::rate), "-f", "u8", part.string()},
                          limit, &m_cancel);
    std::optional<ConversionFailure> failure = ConversionFailure::of(outcome, "ffmpeg", limit);
    if (!failure) {
        failure = store(part, dest);
    }
    if (failure) {
        Files::removeQuietly(part);
        if (failure->keep == Keep::lasting && m_cache.full()) {
            failure = ConversionFailure{"disk full", Keep::thisRun}; // not the file's fault
        }
    }
    return failure;
}

} // namespace vorn
