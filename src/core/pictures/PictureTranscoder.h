#pragma once
// Converts library pictures into SHR screens with tools/img2shr.py (python3 with numpy
// and Pillow), cached under the user's cache folder, one conversion at a time in the
// background, each within a time limit. Each picture keeps its own conversion settings
// (knobs) in the preferences.

#include "convert/ConversionCache.h"
#include "convert/ConversionLimit.h"
#include "pictures/StillPic.h"
#include "platform/CancelFlag.h"
#include "platform/SerialQueue.h"

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

    /// A transcoder with a given interpreter and script (absent: none) and time limit,
    /// keeping the pictures' knobs in `preferences` (the process's one store, which must
    /// outlive it).
    PictureTranscoder(Preferences& preferences, std::optional<std::string> pythonPath,
                      std::optional<std::string> scriptPath, ConversionLimit limit = {});
    /// The transcoder with the interpreter and script found on this machine.
    static std::unique_ptr<PictureTranscoder> found(Preferences& preferences);
    /// Shuts down first.
    ~PictureTranscoder();
    PictureTranscoder(const PictureTranscoder&) = delete;
    PictureTranscoder& operator=(const PictureTranscoder&) = delete;

    std::optional<std::string> pythonPath() const;
    std::optional<std::string> scriptPath() const;
    /// Both the interpreter and the script are there.
    bool converterReady() const;
    /// Looks for the interpreter and the script again, and tries again what failed for
    /// want of them (or of room).
    void refresh();
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
    void saveKnobs(const StillPic::Knobs& knobs, const std::filesystem::path& picture);
    /// Where the picture converted with these knobs lives (or would live).
    static std::filesystem::path cachedSHR(const std::filesystem::path& picture,
                                           const StillPic::Knobs& knobs);
    /// The cache folder ($XDG_CACHE_HOME/VornImageManager/shr).
    static const std::filesystem::path& cacheDir();
    /// The converter's arguments after the interpreter.
    static std::vector<std::string> arguments(const std::string& script,
                                              const std::filesystem::path& source,
                                              const std::filesystem::path& output,
                                              const StillPic::Knobs& knobs);

    /// Queues one conversion. Unless `force`, a complete cache file or a failure that
    /// stands ends the job early. `onReady` runs on the transcoder's thread after a
    /// conversion that succeeded, `onFailed` after one that failed (not after one that
    /// shutdown cancelled). Without interpreter or script, or after shutdown, nothing is
    /// queued.
    void convert(const std::filesystem::path& source, const StillPic::Knobs& knobs, bool force,
                 std::function<void()> onReady, FailedFn onFailed = {});
    /// Why the conversion of `source` with `knobs` failed, while that stands: until the
    /// source or its knobs change, or for failures that were not the file's fault, until
    /// `refresh` or a restart.
    std::optional<std::string> failure(const std::filesystem::path& source,
                                       const StillPic::Knobs& knobs) const;
    /// Waits until the queued conversions have run.
    void drain() { m_queue.drain(); }
    /// Ends the conversions for good: drops the queued ones, stops a running converter and
    /// waits for the worker thread to end.
    void shutdown();

    /// The converter's exit status for a picture it refuses as too large.
    static constexpr int tooLargeStatus = 3;

private:
    struct Job;
    void run(const Job& job);
    std::optional<ConversionFailure> runConverter(const Job& job,
                                                  const std::filesystem::path& part);

    Preferences& m_preferences;
    mutable std::mutex m_mutex;
    std::optional<std::string> m_pythonPath; // guarded by m_mutex
    std::optional<std::string> m_scriptPath; // guarded by m_mutex
    const ConversionLimit m_limit;
    ConversionCache m_cache{cacheDir()};
    CancelFlag m_cancel;
    SerialQueue m_queue{"vorn-img2shr", true}; // last: its worker uses everything above
};

} // namespace vorn
