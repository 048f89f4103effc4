#include "pictures/PictureTranscoder.h"

#include "convert/CacheName.h"
#include "convert/ConversionTools.h"
#include "library/FolderWalk.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"
#include "platform/Preferences.h"
#include "platform/XdgPaths.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

namespace vorn {

struct PictureTranscoder::Job {
    std::filesystem::path source;
    StillPic::Knobs knobs;
    bool force = false;
    std::string python;
    std::string script;
    std::function<void()> onReady;
    FailedFn onFailed;
};

std::unique_ptr<PictureTranscoder> PictureTranscoder::found(Preferences& preferences) {
    return std::make_unique<PictureTranscoder>(
        preferences, ConversionTools::findPythonWithModules(), findScript());
}

PictureTranscoder::PictureTranscoder(Preferences& preferences,
                                     std::optional<std::string> pythonPath,
                                     std::optional<std::string> scriptPath, ConversionLimit limit)
    : m_preferences(preferences), m_pythonPath(std::move(pythonPath)),
      m_scriptPath(std::move(scriptPath)), m_limit(limit) {}

PictureTranscoder::~PictureTranscoder() {
    shutdown();
}

std::optional<std::string> PictureTranscoder::pythonPath() const {
    std::lock_guard lock(m_mutex);
    return m_pythonPath;
}

std::optional<std::string> PictureTranscoder::scriptPath() const {
    std::lock_guard lock(m_mutex);
    return m_scriptPath;
}

bool PictureTranscoder::converterReady() const {
    std::lock_guard lock(m_mutex);
    return m_pythonPath && m_scriptPath;
}

void PictureTranscoder::refresh() {
    std::optional<std::string> python = ConversionTools::findPythonWithModules();
    std::optional<std::string> script = findScript();
    {
        std::lock_guard lock(m_mutex);
        m_pythonPath = std::move(python);
        m_scriptPath = std::move(script);
    }
    m_cache.forgetFailuresInMemory();
}

std::vector<std::filesystem::path> PictureTranscoder::scriptCandidates() {
    std::error_code ec;
    const std::filesystem::path exeDir =
        std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    std::vector<std::filesystem::path> list;
    if (!ec) {
        list.push_back(exeDir / "img2shr.py");
        list.push_back(exeDir / "tools/img2shr.py");
        // Installed as <prefix>/bin/vorn-share: the resources of that same prefix, which
        // also holds when the tree was installed elsewhere (DESTDIR, a moved /opt tree),
        // and wins over the build machine's source tree for an installed program.
        list.push_back((exeDir / VORN_RESOURCE_FROM_BIN / "img2shr.py").lexically_normal());
    }
    // The source tree this program was built from: found when running from a build folder.
    list.push_back(std::filesystem::path(VORN_SOURCE_DIR) / "tools/img2shr.py");
    const std::filesystem::path resources(VORN_RESOURCE_DIR);
    list.push_back(resources / "img2shr.py");
    list.push_back(resources / "tools/img2shr.py");
    return list;
}

std::optional<std::string> PictureTranscoder::findScript() {
    for (const std::filesystem::path& candidate : scriptCandidates()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) &&
            access(candidate.c_str(), R_OK) == 0) {
            return candidate.string();
        }
    }
    return std::nullopt;
}

std::string PictureTranscoder::knobsKey(const std::filesystem::path& picture) {
    return "pic.knobs." + Files::realPath(picture.string());
}

StillPic::Knobs PictureTranscoder::knobs(const std::filesystem::path& picture) const {
    StillPic::Knobs knobs;
    const std::optional<std::string> stored = m_preferences.object(knobsKey(picture));
    if (!stored) {
        return knobs;
    }
    const nlohmann::json d = nlohmann::json::parse(*stored, nullptr, false);
    // Each entry falls back to its default on its own.
    if (const auto it = d.find("sat"); it != d.end() && it->is_number()) {
        knobs.sat = it->get<double>();
    }
    if (const auto it = d.find("con"); it != d.end() && it->is_number()) {
        knobs.con = it->get<double>();
    }
    if (const auto it = d.find("dither"); it != d.end() && it->is_boolean()) {
        knobs.dither = it->get<bool>();
    }
    return knobs;
}

void PictureTranscoder::saveKnobs(const StillPic::Knobs& knobs,
                                  const std::filesystem::path& picture) {
    const nlohmann::json d = {{"sat", knobs.sat}, {"con", knobs.con}, {"dither", knobs.dither}};
    m_preferences.setObject(knobsKey(picture), d.dump());
}

const std::filesystem::path& PictureTranscoder::cacheDir() {
    static const std::filesystem::path dir = XdgPaths::cacheDir() / "shr";
    return dir;
}

std::filesystem::path PictureTranscoder::cachedSHR(const std::filesystem::path& picture,
                                                   const StillPic::Knobs& knobs) {
    const std::string extra = CacheName::number(knobs.sat) + "|" + CacheName::number(knobs.con) +
                              "|" + (knobs.dither ? "true" : "false");
    return cacheDir() / CacheName::fileName(CacheName::key(picture, extra), ".shr");
}

std::vector<std::string> PictureTranscoder::arguments(const std::string& script,
                                                      const std::filesystem::path& source,
                                                      const std::filesystem::path& output,
                                                      const StillPic::Knobs& knobs) {
    std::vector<std::string> list = {script,
                                     source.string(),
                                     output.string(),
                                     "--sat",
                                     CacheName::number(knobs.sat),
                                     "--con",
                                     CacheName::number(knobs.con)};
    if (knobs.dither) {
        list.push_back("--dither");
    }
    return list;
}

std::optional<std::string> PictureTranscoder::failure(const std::filesystem::path& source,
                                                      const StillPic::Knobs& knobs) const {
    return m_cache.failure(cachedSHR(source, knobs));
}

void PictureTranscoder::convert(const std::filesystem::path& source, const StillPic::Knobs& knobs,
                                bool force, std::function<void()> onReady, FailedFn onFailed) {
    std::unique_lock lock(m_mutex);
    if (!m_pythonPath || !m_scriptPath) {
        return;
    }
    Job job{source,
            knobs,
            force,
            *m_pythonPath,
            *m_scriptPath,
            std::move(onReady),
            std::move(onFailed)};
    lock.unlock();
    m_queue.async([this, job = std::move(job)] { run(job); });
}

void PictureTranscoder::shutdown() {
    m_queue.close();
    m_cancel.raise();
    m_queue.stop();
}

void PictureTranscoder::run(const Job& job) {
    using Keep = ConversionFailure::Keep;
    const std::filesystem::path dest = cachedSHR(job.source, job.knobs);
    if (!job.force && (Files::size(dest) == StillPic::shrBytes || m_cache.failure(dest))) {
        return;
    }
    if (!Files::exists(job.source)) {
        return; // no longer there: the next rescan drops it
    }
    const std::filesystem::path part = dest.string() + ".part";
    const std::filesystem::path partPreview = part.string() + "_preview.png";
    const std::filesystem::path destPreview = dest.string() + "_preview.png";
    std::optional<ConversionFailure> failure = runConverter(job, part);
    if (failure) {
        Files::removeQuietly(part);
        Files::removeQuietly(partPreview);
        if (failure->keep == Keep::lasting && m_cache.full()) {
            failure = ConversionFailure{"disk full", Keep::thisRun}; // not the picture's fault
        }
        m_cache.remember(dest, *failure);
        if (failure->keep != Keep::no && job.onFailed) {
            job.onFailed("picture convert failed: " + job.source.filename().string() + " (" +
                         failure->reason + ")");
        }
        return;
    }
    m_cache.forget(dest);
    Files::removeQuietly(dest);
    Files::removeQuietly(destPreview);
    Files::move(part, dest);
    if (Files::exists(partPreview)) {
        Files::move(partPreview, destPreview);
    }
    if (job.onReady) {
        job.onReady();
    }
}

// Runs the converter into the partial file; absent when it left a whole screen there.
std::optional<ConversionFailure>
PictureTranscoder::runConverter(const Job& job, const std::filesystem::path& part) {
    using Keep = ConversionFailure::Keep;
    if (!m_cache.writable()) {
        return ConversionFailure{"cache folder not writable", Keep::thisRun};
    }
    if (access(job.source.c_str(), R_OK) != 0) {
        return ConversionFailure{"cannot read the file", Keep::thisRun};
    }
    Files::removeQuietly(part);
    const std::chrono::milliseconds limit = m_limit.forSource(job.source);
    const auto outcome = ChildProcess::run(
        job.python, arguments(job.script, job.source, part, job.knobs), limit, &m_cancel);
    if (auto failure = ConversionFailure::of(outcome, "python3", limit,
                                             {{tooLargeStatus, "picture too large"}})) {
        return failure;
    }
    const std::optional<std::uint64_t> size = Files::size(part);
    if (size != StillPic::shrBytes) {
        return ConversionFailure{
            size ? "output of " + std::to_string(*size) + " bytes" : "no output", Keep::lasting};
    }
    return std::nullopt;
}

} // namespace vorn
