#pragma once
// How long one conversion may run. A converter can hang on a file (or wait forever on
// input it never gets); without a limit it would hold the one queue of its kind for good.
// The limit grows with the source's size, so that it is far beyond what an honest file
// needs even on a slow machine.

#include <chrono>
#include <filesystem>
#include <string>

namespace vorn {

struct ConversionLimit {
    /// What every conversion may take.
    std::chrono::milliseconds base{std::chrono::minutes(2)};
    /// What each started megabyte of the source adds.
    std::chrono::milliseconds perMegabyte{std::chrono::seconds(10)};

    /// The limit for one source (a source whose size cannot be read gets `base`).
    std::chrono::milliseconds forSource(const std::filesystem::path& source) const;
    /// "time limit 130 s"; under ten seconds with a tenth ("time limit 0.2 s").
    static std::string reason(std::chrono::milliseconds limit);
};

} // namespace vorn
