#pragma once
// A one-way signal from one thread to work running on another: once raised it stays
// raised. Besides the flag it offers a descriptor that polls readable once raised, so
// that a thread waiting for a child process wakes at once rather than at its next timeout.

#include <atomic>

namespace vorn {

class CancelFlag {
public:
    CancelFlag();
    ~CancelFlag();
    CancelFlag(const CancelFlag&) = delete;
    CancelFlag& operator=(const CancelFlag&) = delete;

    /// Raises the flag; safe from any thread, and more than once.
    void raise();
    bool raised() const;
    /// Readable (POLLIN) once raised; -1 when the system gave no descriptor, in which case
    /// waiters fall back to checking `raised()` now and then.
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::atomic<bool> m_raised{false};
};

} // namespace vorn
