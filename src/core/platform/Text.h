#pragma once
// Unicode text operations the library relies on, built on ICU: the ordering people
// expect in file lists, case mapping, character classes, and percent-encoding.

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::Text {

/// Orders two UTF-8 texts for people: case ignored, accents kept, in the user's
/// collation locale (LC_ALL, LC_COLLATE, LANG; root when unset). Negative, 0 or positive.
int compare(std::string_view a, std::string_view b);

/// A byte string whose plain byte order equals the order of `compare`.
std::string sortKey(std::string_view text);

/// Stable ascending sort of `items` by `compare` of key(item). Keys are turned into
/// collation sort keys once, so large lists pay the collator once per item.
template <class T, class KeyFn> void stableSort(std::vector<T>& items, KeyFn key) {
    std::vector<std::string> keys;
    keys.reserve(items.size());
    for (const T& item : items) {
        keys.push_back(sortKey(key(item)));
    }
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (std::size_t i : order) {
        sorted.push_back(std::move(items[i]));
    }
    items = std::move(sorted);
}

/// Full Unicode lower case (root locale).
std::string lower(std::string_view text);
/// Full Unicode upper case (root locale).
std::string upper(std::string_view text);

/// Letters, marks and digits of every script (general categories L*, M*, N*).
bool isAlphanumeric(char32_t c);
/// Characters with a numeric value (general categories Nd, Nl, No).
bool isNumeric(char32_t c);

/// Percent-encodes every byte of characters other than letters, marks, digits and
/// ".-_~"; bytes that are not valid UTF-8 are encoded one by one.
std::string percentEncode(std::string_view text);
/// Undoes percent-encoding; absent on a malformed escape or a result that is not UTF-8.
std::optional<std::string> percentDecode(std::string_view text);

/// The text with invalid UTF-8 sequences replaced by U+FFFD.
std::string validUtf8(std::string_view bytes);
/// Whether the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

/// The first `count` user-perceived characters (grapheme clusters) of the text.
std::string prefixCharacters(std::string_view text, std::size_t count);

/// The text without spaces and tabs at either end.
std::string_view trimBlanks(std::string_view text);

/// The pieces of `text` between `separator`s, empty pieces dropped.
std::vector<std::string> splitNonEmpty(std::string_view text, char separator);

/// The pieces joined with `separator` between them.
std::string join(const std::vector<std::string>& pieces, std::string_view separator);

/// ASCII-only lower case, for protocol tokens (header names, keywords).
std::string asciiLower(std::string_view text);

} // namespace vorn::Text
