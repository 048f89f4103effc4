#include "convert/ConversionLimit.h"

#include "platform/Files.h"

#include <cstdint>

namespace vorn {

std::chrono::milliseconds ConversionLimit::forSource(const std::filesystem::path& source) const {
    constexpr std::uint64_t megabyte = 1'000'000;
    const std::uint64_t megabytes = (Files::size(source).value_or(0) + megabyte - 1) / megabyte;
    return base + perMegabyte * std::int64_t(megabytes);
}

std::string ConversionLimit::reason(std::chrono::milliseconds limit) {
    const std::int64_t ms = limit.count();
    if (ms >= 10'000) {
        return "time limit " + std::to_string((ms + 500) / 1000) + " s";
    }
    const std::int64_t tenths = (ms + 50) / 100;
    return "time limit " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

} // namespace vorn
