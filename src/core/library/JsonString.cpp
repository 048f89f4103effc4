#include "library/JsonString.h"

#include "platform/Text.h"

#include <cstdio>

namespace vorn {

std::string jsonString(std::string_view text) {
    const std::string valid = Text::validUtf8(text);
    std::string out = "\"";
    out.reserve(valid.size() + 2);
    for (const char c : valid) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(c));
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

} // namespace vorn
