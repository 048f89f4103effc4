#include "pictures/PictureTranscoder.h"

#include "convert/CacheName.h"
#include "convert/ConversionTools.h"
#include "platform/Files.h"
#include "platform/Preferences.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

namespace vorn {

std::unique_ptr<PictureTranscoder> PictureTranscoder::found(Preferences& preferences,
                                                            const std::filesystem::path& caches,
                                                            unsigned jobs) {
    return std::make_unique<PictureTranscoder>(preferences, caches,
                                               ConversionTools::findPythonWithModules(),
                                               findScript(), ConversionLimit{}, jobs);
}

PictureTranscoder::PictureTranscoder(Preferences& preferences, const std::filesystem::path& caches,
                                     std::optional<std::string> pythonPath,
                                     std::optional<std::string> scriptPath, ConversionLimit limit,
                                     unsigned jobs)
    : m_preferences(preferences), m_pythonPath(std::move(pythonPath)),
      m_scriptPath(std::move(scriptPath)), m_probeLimit(limit.base), m_cache(caches / "shr"),
      m_tool(jobs), m_worker("vorn-img2shr", m_cache, m_tool, limit, jobs) {}

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

void PictureTranscoder::findTools() {
    std::optional<std::string> python = ConversionTools::findPythonWithModules(m_probeLimit);
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

bool PictureTranscoder::saveKnobs(const StillPic::Knobs& knobs,
                                  const std::filesystem::path& picture) {
    const nlohmann::json d = {{"sat", knobs.sat}, {"con", knobs.con}, {"dither", knobs.dither}};
    return m_preferences.setObject(knobsKey(picture), d.dump());
}

std::filesystem::path PictureTranscoder::cachedSHR(const std::filesystem::path& picture,
                                                   const StillPic::Knobs& knobs) const {
    const std::string extra = CacheName::number(knobs.sat) + "|" + CacheName::number(knobs.con) +
                              "|" + (knobs.dither ? "true" : "false");
    return m_cache.file(CacheName::key(picture, extra), ".shr");
}

std::vector<std::string> PictureTranscoder::options(const StillPic::Knobs& knobs) {
    std::vector<std::string> list = {"--sat", CacheName::number(knobs.sat), "--con",
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
    ConversionJob job{source,
                      cachedSHR(source, knobs),
                      {*m_pythonPath, *m_scriptPath},
                      options(knobs),
                      force,
                      std::move(onReady),
                      std::move(onFailed)};
    lock.unlock();
    m_worker.queue(std::move(job));
}

} // namespace vorn
