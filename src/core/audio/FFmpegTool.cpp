#include "audio/FFmpegTool.h"

#include "audio/AudioTrack.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"

#include <algorithm>

namespace vorn {
namespace {

using Keep = ConversionFailure::Keep;

// Checks what ffmpeg wrote. Served audio never holds a zero byte: the lowest sample is
// stored one step higher.
std::optional<ConversionFailure> liftZeros(const std::filesystem::path& part) {
    const std::optional<std::uint64_t> size = Files::size(part);
    if (!size) {
        return ConversionFailure{"no output", Keep::lasting};
    }
    if (*size == 0) {
        return ConversionFailure{"output of 0 bytes", Keep::lasting};
    }
    if (std::optional<std::string> samples = Files::read(part)) {
        std::replace(samples->begin(), samples->end(), '\0', '\x01');
        if (const std::error_code error = Files::overwrite(part, *samples)) {
            const bool full = error == std::errc::no_space_on_device;
            return ConversionFailure{full ? "disk full" : "cannot write the cache", Keep::thisRun};
        }
    }
    return std::nullopt;
}

} // namespace

bool FFmpegTool::complete(const std::filesystem::path& file) const {
    return Files::size(file).value_or(0) > 0;
}

std::vector<std::string> FFmpegTool::arguments(const std::filesystem::path& source,
                                               const std::filesystem::path& output) {
    return {"-nostdin",     "-v",
            "error",        "-y",
            "-i",           source.string(),
            "-ac",          "1",
            "-ar",          std::to_string(AudioTrack::rate),
            "-f",           "u8",
            output.string()};
}

std::optional<ConversionFailure> FFmpegTool::convert(const Run& run) {
    const std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
        run.job.command.front(), arguments(run.job.source, run.part), run.limit, &run.cancel);
    if (auto failure = ConversionFailure::of(outcome, "ffmpeg", run.limit)) {
        return failure;
    }
    return liftZeros(run.part);
}

} // namespace vorn
