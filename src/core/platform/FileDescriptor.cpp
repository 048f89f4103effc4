#include "platform/FileDescriptor.h"

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace vorn {

FileDescriptor::~FileDescriptor() {
    close();
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

std::error_code FileDescriptor::close() {
    // Not retried on EINTR: Linux has released the descriptor whatever close returns.
    if (m_fd >= 0 && ::close(std::exchange(m_fd, -1)) != 0) {
        return {errno, std::generic_category()};
    }
    return {};
}

} // namespace vorn
