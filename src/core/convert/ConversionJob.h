#pragma once
// One conversion a worker is asked for: a source, the cache file it becomes, and how the
// tool is run for it, captured when the job was queued (a later look for the tools does
// not change a queued job).

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vorn {

struct ConversionJob {
    std::filesystem::path source;
    /// The cache file the conversion makes.
    std::filesystem::path dest;
    /// The program that converts and its first arguments ({ffmpeg}, {python3, script}).
    std::vector<std::string> command;
    /// The tool's settings for this source, as arguments ("--sat", "1.45", ...).
    std::vector<std::string> options;
    /// Converts again although a whole cache file or a standing failure is there.
    bool force = false;
    /// After a conversion that succeeded, on the worker's thread.
    std::function<void()> onReady;
    /// With the log line of a conversion that failed (not of one shutdown cancelled).
    std::function<void(const std::string& line)> onFailed;
};

} // namespace vorn
