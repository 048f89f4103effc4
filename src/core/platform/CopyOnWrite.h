#pragma once
// Support for values whose parts are shared between copies and copied only when one
// copy changes them, on the one thread that owns the original.

#include <atomic>
#include <memory>

namespace vorn {

/// True when `p` is the only owner of its object, so the owner may change it in place.
/// Other threads only ever drop their copies; the acquire fence pairs with the release
/// of that drop, so everything they read happened before our change.
template <class T> bool exclusivelyOwned(const std::shared_ptr<T>& p) {
    if (p.use_count() != 1) {
        return false;
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
}

} // namespace vorn
