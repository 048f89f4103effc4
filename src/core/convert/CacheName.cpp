#include "convert/CacheName.h"

#include "library/FolderWalk.h"
#include "platform/Files.h"
#include "platform/Sha256.h"

#include <charconv>
#include <chrono>

namespace vorn::CacheName {

std::string key(const std::filesystem::path& source, std::string_view extra) {
    std::int64_t seconds = 0;
    if (const auto date = Files::modified(source)) {
        seconds =
            std::chrono::duration_cast<std::chrono::seconds>(date->time_since_epoch()).count();
    }
    std::string text = FolderWalk::realPath(source.string()) + "|" + std::to_string(seconds);
    if (!extra.empty()) {
        text.append("|").append(extra);
    }
    return text;
}

std::string fileName(std::string_view keyText, std::string_view extension) {
    return Sha256::hex(keyText).substr(0, 32) + std::string(extension);
}

std::string number(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    std::string out(text, ec == std::errc() ? end : text);
    if (out.find_first_of(".eEn") == std::string::npos) {
        out += ".0"; // whole numbers keep a decimal point: 2 is written 2.0
    }
    return out;
}

} // namespace vorn::CacheName
