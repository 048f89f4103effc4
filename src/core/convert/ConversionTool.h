#pragma once
// The part of a conversion that belongs to one outside tool: how it is run and what a
// whole result looks like. The queue, the cache, the failure markers and the placing of
// finished files are the worker's, the same for every tool.

#include "convert/ConversionFailure.h"
#include "convert/ConversionJob.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class CancelFlag;

class ConversionTool {
public:
    /// One run of the tool: into `part`, within `limit`, given up once `cancel` is
    /// raised. `slot` (below the worker's number of jobs) is the same for every run on one
    /// worker thread, so a tool may keep something running per slot.
    struct Run {
        const ConversionJob& job;
        const std::filesystem::path& part;
        std::chrono::milliseconds limit;
        const CancelFlag& cancel;
        unsigned slot = 0;
    };

    virtual ~ConversionTool() = default;

    /// How the log line of a failure begins: "transcode failed".
    virtual std::string_view failedText() const = 0;
    /// Whether a cache file is a whole result; one that is not is made again.
    virtual bool complete(const std::filesystem::path& file) const = 0;
    /// Runs the tool; absent when `run.part` then holds a whole result.
    virtual std::optional<ConversionFailure> convert(const Run& run) = 0;
    /// What the tool may write beside its result, as suffixes of the file's name
    /// ("_preview.png"); they are placed and removed with it.
    virtual std::vector<std::string> companions() const { return {}; }
    /// Ends whatever `slot` keeps running, as its queue ran dry: a converter kept for the
    /// next conversion should not hold its memory for good.
    virtual void rest(unsigned slot) { (void)slot; }
    /// Ends whatever the slots keep running; called once no conversion runs any more.
    virtual void stop() {}
};

} // namespace vorn
