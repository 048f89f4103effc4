#pragma once
// Sizes as people read them: in the window, on the command line and on the index page.
// The decimal point is always a point, whatever the locale: the desktop program runs in
// the user's locale, whose decimal comma printf's "%.1f" would follow.

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn::SizeText {

/// Mebibytes with one decimal, no unit: "1.5".
std::string megabytes(std::uint64_t bytes);

/// "N KB" below a mebibyte (kibibytes rounded down, so "0 KB" for a few bytes), "X.Y MB"
/// from there.
std::string kilobytesOrMegabytes(std::uint64_t bytes);

/// As kilobytesOrMegabytes, but sizes below a kibibyte in bytes: "N " + `byteUnit`.
std::string withBytes(std::uint64_t bytes, std::string_view byteUnit);

} // namespace vorn::SizeText
