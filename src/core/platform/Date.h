#pragma once
// Points in time, and the one value that stands for "no date" everywhere.

#include <chrono>

namespace vorn {

using Date = std::chrono::system_clock::time_point;

/// The "no date" sentinel: earlier than any real file date.
inline constexpr Date kDistantPast = Date::min();

} // namespace vorn
