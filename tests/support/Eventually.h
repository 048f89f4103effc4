#pragma once
// Waits for something another thread or process does a moment later. Every wait is
// bounded, so a fault fails the test instead of hanging it.

#include <chrono>
#include <thread>

namespace vorn::test {

/// True once `condition` holds, asked every `every` for up to `limit`.
template <typename Condition>
bool eventually(Condition&& condition, std::chrono::milliseconds limit = std::chrono::seconds(5),
                std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
    for (const auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(every)) {
        if (condition()) {
            return true;
        }
    }
    return condition();
}

} // namespace vorn::test
