#pragma once
// Whole numbers read from text people and programs type: headers, query items, the
// command line, stored settings, file names. One reading everywhere, so that "5 12",
// "0x200" or "512.0" mean the same refusal wherever they arrive.

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorn {

/// A signed base-10 number: optional sign, ASCII digits only; absent otherwise or on overflow.
std::optional<std::int64_t> parseSigned(std::string_view text);
/// An unsigned base-10 number of ASCII digits only; absent otherwise or on overflow.
std::optional<std::uint64_t> parseUnsigned(std::string_view text);

/// An inclusive range a stored or typed number must fall in.
struct WholeRange {
    std::int64_t low;
    std::int64_t high;
    constexpr bool contains(std::int64_t n) const { return n >= low && n <= high; }
};

/// A signed number inside `range`; absent otherwise.
std::optional<std::int64_t> parseIn(std::string_view text, WholeRange range);

} // namespace vorn
