#pragma once
// Converts library pictures into SHR screens with tools/img2shr.py (python3 with numpy
// and Pillow, see Img2ShrTool), cached in the "shr" folder of the caches, in the
// background, each conversion within a time limit. Each picture keeps its own conversion
// settings (knobs) in the preferences.

#include "convert/ConversionCache.h"
#include "convert/ConversionLimit.h"
#include "convert/ConversionWorker.h"
#include "pictures/Img2ShrTool.h"
#include "pictures/StillPic.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

class Preferences;

class PictureTranscoder {
public:
    /// Gets the log line of a failed conversion: "picture convert failed: NAME (reason)".
    using FailedFn = std::function<void(const std::string& line)>;

    /// A transcoder caching below `caches`, with a given interpreter and script (absent:
    /// none), time limit and number of conversions at once, keeping the pictures' knobs in
    /// `preferences` (the process's one store, which must outlive it).
    PictureTranscoder(Preferences& preferences, const std::filesystem::path& caches,
                      std::optional<std::string> pythonPath, std::optional<std::string> scriptPath,
                      ConversionLimit limit = {}, unsigned jobs = 1);
    /// The transcoder with the interpreter and script found on this machine, caching below
    /// `caches` (XdgPaths::cacheDir() for the programs), `jobs` conversions at once.
    static std::unique_ptr<PictureTranscoder>
    found(Preferences& preferences, const std::filesystem::path& caches, unsigned jobs);
    PictureTranscoder(const PictureTranscoder&) = delete;
    PictureTranscoder& operator=(const PictureTranscoder&) = delete;

    std::optional<std::string> pythonPath() const;
    std::optional<std::string> scriptPath() const;
    /// Both the interpreter and the script are there.
    bool converterReady() const;
    /// Looks for the interpreter and the script again, and tries again what failed for
    /// want of them (or of room).
    void findTools();
    /// Tries again every conversion that failed, those the file itself made fail too.
    void retryFailures() { m_cache.forgetAllFailures(); }

    /// The places the converter script is looked for, in order.
    static std::vector<std::filesystem::path> scriptCandidates();
    /// The first readable script among the candidates.
    static std::optional<std::string> findScript();
    /// The preferences key of a picture's knobs: "pic.knobs." + its resolved path.
    static std::string knobsKey(const std::filesystem::path& picture);
    /// The stored knobs of a picture, each missing or mistyped one at its default.
    StillPic::Knobs knobs(const std::filesystem::path& picture) const;
    /// Stores a picture's knobs; false when the preferences file did not take them.
    [[nodiscard]] bool saveKnobs(const StillPic::Knobs& knobs,
                                 const std::filesystem::path& picture);
    /// Where the picture converted with these knobs lives (or would live).
    std::filesystem::path cachedSHR(const std::filesystem::path& picture,
                                    const StillPic::Knobs& knobs) const;
    /// The cache: its folder and the failure markers in it.
    const ConversionCache& cache() const { return m_cache; }
    /// The converter's options for the knobs: "--sat", "--con" and "--dither" when asked.
    static std::vector<std::string> options(const StillPic::Knobs& knobs);

    /// Queues one conversion. Unless `force`, a complete cache file or a failure that
    /// stands ends the job early. `onReady` runs on a conversion thread after a
    /// conversion that succeeded, `onFailed` after one that failed (not after one that
    /// shutdown cancelled). Without interpreter or script, or after shutdown, nothing is
    /// queued.
    void convert(const std::filesystem::path& source, const StillPic::Knobs& knobs, bool force,
                 std::function<void()> onReady, FailedFn onFailed = {});
    /// Why the conversion of `source` with `knobs` failed, while that stands: until the
    /// source or its knobs change, or for failures that were not the file's fault, until
    /// `findTools` or a restart.
    std::optional<std::string> failure(const std::filesystem::path& source,
                                       const StillPic::Knobs& knobs) const;
    /// Waits until the queued conversions have run.
    void drain() { m_worker.drain(); }
    /// Ends the conversions for good: drops the queued ones, stops the running converters
    /// and waits for the conversion threads to end.
    void shutdown() { m_worker.shutdown(); }

private:
    Preferences& m_preferences;
    mutable std::mutex m_mutex;
    std::optional<std::string> m_pythonPath; // guarded by m_mutex
    std::optional<std::string> m_scriptPath; // guarded by m_mutex
    std::chrono::milliseconds m_probeLimit;  // how long looking for the converter may take
    ConversionCache m_cache;
    Img2ShrTool m_tool;
    ConversionWorker m_worker; // last: its threads use everything above
};

} // namespace vorn
