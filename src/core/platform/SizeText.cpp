#include "platform/SizeText.h"

#include <charconv>

namespace vorn::SizeText {

namespace {
constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;
} // namespace

std::string megabytes(std::uint64_t bytes) {
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, double(bytes) / double(kMiB),
                              std::chars_format::fixed, 1)
                    .ptr;
    return std::string(text, end);
}

std::string kilobytesOrMegabytes(std::uint64_t bytes) {
    return bytes < kMiB ? std::to_string(bytes / kKiB) + " KB" : megabytes(bytes) + " MB";
}

std::string withBytes(std::uint64_t bytes, std::string_view byteUnit) {
    return bytes < kKiB ? std::to_string(bytes) + " " + std::string(byteUnit)
                        : kilobytesOrMegabytes(bytes);
}

} // namespace vorn::SizeText
