#pragma once
// How many descriptors this process may hold open. A process starts at a soft limit of
// 1,024 whatever its hard limit allows, and a share that keeps the connections of every
// card and its open images would run out long before the machine does.

#include <cstdint>

namespace vorn {

/// Raises the soft limit of open descriptors as far as the hard limit (or the kernel's
/// ceiling, when the hard limit is unlimited); returns the soft limit now in force.
std::uint64_t raiseOpenFileLimit();

} // namespace vorn
