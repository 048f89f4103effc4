#pragma once
// An open file descriptor with one owner, closed when the owner goes.

#include <system_error>

namespace vorn {

/// Owns one descriptor (or none, as -1). Moving hands the descriptor on; there is no copy,
/// so no descriptor is ever closed twice.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    /// Closes now, and says why the close failed: some file systems report a full disk
    /// only there, so a file that must be whole checks it.
    std::error_code close();

private:
    int m_fd = -1;
};

} // namespace vorn
