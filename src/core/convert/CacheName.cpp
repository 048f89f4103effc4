#include "convert/CacheName.h"

#include "library/FolderWalk.h"
#include "platform/Files.h"
#include "platform/Sha256.h"

#include <charconv>
#include <chrono>
#include <cmath>

namespace vorn::CacheName {

std::string key(const std::filesystem::path& source, std::string_view extra) {
    std::int64_t seconds = 0;
    if (const auto date = Files::modified(source)) {
        seconds =
            std::chrono::duration_cast<std::chrono::seconds>(date->time_since_epoch()).count();
    }
    std::string text = Files::realPath(source.string()) + "|" + std::to_string(seconds);
    if (!extra.empty()) {
        text.append("|").append(extra);
    }
    return text;
}

std::string fileName(std::string_view keyText, std::string_view extension) {
    return Sha256::hex(keyText).substr(0, 32) + std::string(extension);
}

std::string number(double value) {
    // Plain digits from 0.0001 up to 2^53, where doubles still hold every whole number; the
    // exponent form only outside. Left to itself, to_chars picks whichever text is shorter
    // and writes 1000000 as "1e+06", which is no whole number with a ".0".
    const double magnitude = std::fabs(value);
    const bool plain = value == 0 || (magnitude >= 1e-4 && magnitude <= 0x1p53);
    char text[64];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, value,
                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string out(text, ec == std::errc() ? end : text);
    if (plain && out.find('.') == std::string::npos) {
        out += ".0"; // whole numbers keep a decimal point: 2 is written 2.0
    }
    return out;
}

} // namespace vorn::CacheName
