#include "Text.h"

#include <cstdlib>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace vorn::Text {
namespace {

// POSIX locale names ("de_DE.UTF-8@euro", "C") reduced to what ICU understands.
icu::Locale collationLocale() {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        std::string id(value);
        id = id.substr(0, id.find_first_of(".@"));
        if (id.empty() || id == "C" || id == "POSIX") {
            return icu::Locale::getRoot();
        }
        return icu::Locale(id.c_str());
    }
    return icu::Locale::getRoot();
}

const icu::Collator& prototypeCollator() {
    static const std::unique_ptr<icu::Collator> prototype = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(collationLocale(), status));
        if (U_FAILURE(status) || !c) {
            status = U_ZERO_ERROR;
            c.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        // Secondary strength: "a" equals "A" but not "á".
        c->setStrength(icu::Collator::SECONDARY);
        return c;
    }();
    return *prototype;
}

// Each thread gets its own clone so no caller has to think about collator sharing.
icu::Collator& collator() {
    thread_local std::unique_ptr<icu::Collator> local(prototypeCollator().clone());
    return *local;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

int compare(std::string_view a, std::string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r =
        collator().compareUTF8(icu::StringPiece(a.data(), int32_t(a.size())),
                               icu::StringPiece(b.data(), int32_t(b.size())), status);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

std::string sortKey(std::string_view text) {
    const icu::UnicodeString u = fromUtf8(text);
    std::string key(64 + 4 * std::size_t(u.length()), '\0');
    auto* bytes = reinterpret_cast<uint8_t*>(key.data());
    int32_t needed = collator().getSortKey(u, bytes, int32_t(key.size()));
    if (needed > int32_t(key.size())) {
        key.resize(std::size_t(needed));
        bytes = reinterpret_cast<uint8_t*>(key.data());
        needed = collator().getSortKey(u, bytes, needed);
    }
    key.resize(needed > 0 ? std::size_t(needed) : 0);
    return key;
}

std::string lower(std::string_view text) {
    if (isAscii(text)) {
        return asciiLower(text);
    }
    return toUtf8(fromUtf8(text).toLower(icu::Locale::getRoot()));
}

std::string upper(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'a' && c <= 'z') {
                c = char(c - 'a' + 'A');
            }
        }
        return out;
    }
    return toUtf8(fromUtf8(text).toUpper(icu::Locale::getRoot()));
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return out;
}

bool isAlphanumeric(char32_t c) {
    return (U_GET_GC_MASK(UChar32(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

bool isNumeric(char32_t c) {
    return (U_GET_GC_MASK(UChar32(c)) & U_GC_N_MASK) != 0;
}

std::string percentEncode(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3 / 2);
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = int32_t(text.size());
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        const bool plain =
            c >= 0 && (isAlphanumeric(char32_t(c)) || c == '.' || c == '-' || c == '_' || c == '~');
        if (plain) {
            out.append(text.substr(std::size_t(start), std::size_t(i - start)));
            continue;
        }
        for (int32_t k = start; k < i; ++k) {
            out += '%';
            out += hex[s[k] >> 4];
            out += hex[s[k] & 0x0F];
        }
    }
    return out;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += char(high * 16 + low);
        i += 2;
    }
    if (!isValidUtf8(out)) {
        return std::nullopt;
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const int32_t length = int32_t(bytes.size());
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

std::string validUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const int32_t length = int32_t(bytes.size());
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(bytes.substr(std::size_t(start), std::size_t(i - start)));
        }
    }
    return out;
}

std::string prefixCharacters(std::string_view text, std::size_t count) {
    const icu::UnicodeString u = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    it->setText(u);
    int32_t end = it->first();
    for (std::size_t n = 0; n < count; ++n) {
        const int32_t next = it->next();
        if (next == icu::BreakIterator::DONE) {
            return toUtf8(u);
        }
        end = next;
    }
    return toUtf8(u.tempSubString(0, end));
}

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> splitNonEmpty(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            out += separator;
        }
        out += pieces[i];
    }
    return out;
}

} // namespace vorn::Text
