#include "platform/CancelFlag.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vorn {

CancelFlag::CancelFlag() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CancelFlag::~CancelFlag() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void CancelFlag::raise() {
    m_raised.store(true); // before the wake-up: a woken waiter must find it raised
    // The counter is never read back, so the descriptor stays readable from now on.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_fd, &one, sizeof one);
}

bool CancelFlag::raised() const {
    return m_raised.load();
}

} // namespace vorn
