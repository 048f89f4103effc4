#pragma once
// The time a service measures quiet spells by, given to it by its owner: the steady clock
// in the programs, a clock a test steps instead of sleeping, so that a loaded machine
// cannot stretch a spell past the service's limit.

#include <chrono>
#include <functional>

namespace vorn {

using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

} // namespace vorn
