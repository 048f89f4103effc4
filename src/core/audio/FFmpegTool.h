#pragma once
// ffmpeg as a conversion tool: library audio into what the card plays, raw unsigned 8-bit
// mono samples at 21973 Hz, in which no byte is zero.

#include "convert/ConversionTool.h"

namespace vorn {

class FFmpegTool : public ConversionTool {
public:
    std::string_view failedText() const override { return "transcode failed"; }
    /// Any samples at all.
    bool complete(const std::filesystem::path& file) const override;
    std::optional<ConversionFailure> convert(const Run& run) override;

    /// ffmpeg's arguments after the program.
    static std::vector<std::string> arguments(const std::filesystem::path& source,
                                              const std::filesystem::path& output);
};

} // namespace vorn
