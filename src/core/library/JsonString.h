#pragma once
// The one JSON string escaper of the system: every catalog is written by hand in a fixed
// layout, and every text in it goes through here.

#include <string>
#include <string_view>

namespace vorn {

/// A JSON string literal, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(std::string_view text);

} // namespace vorn
