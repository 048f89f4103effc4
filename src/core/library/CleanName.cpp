#include "library/CleanName.h"

#include "library/FileName.h"
#include "platform/Text.h"

#include <algorithm>
#include <unicode/utf8.h>
#include <vector>

namespace vorn {

std::string cleanName(std::string_view fileName) {
    std::string text(FileName::stem(fileName));
    std::replace(text.begin(), text.end(), '_', ' ');
    // A "." survives only between two numeric characters, as in a version number.
    std::vector<UChar32> chars;
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    for (int32_t i = 0, n = int32_t(text.size()); i < n;) {
        UChar32 c;
        U8_NEXT(s, i, n, c);
        chars.push_back(c);
    }
    std::string spaced;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        UChar32 c = chars[i];
        if (c == '.') {
            const bool between = i > 0 && i + 1 < chars.size() && chars[i - 1] >= 0 &&
                                 chars[i + 1] >= 0 && Text::isNumeric(char32_t(chars[i - 1])) &&
                                 Text::isNumeric(char32_t(chars[i + 1]));
            c = between ? '.' : ' ';
        }
        if (c < 0) {
            spaced += "\xEF\xBF\xBD";
            continue;
        }
        char buffer[4];
        int32_t length = 0;
        U8_APPEND_UNSAFE(buffer, length, c);
        spaced.append(buffer, std::size_t(length));
    }
    const std::string joined = Text::join(Text::splitNonEmpty(spaced, ' '), " ");
    return joined.empty() ? std::string(fileName) : joined;
}

} // namespace vorn
