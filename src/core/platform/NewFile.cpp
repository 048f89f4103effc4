#include "platform/NewFile.h"

#include "platform/SystemError.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <stdio.h>
#include <string>
#include <unistd.h>

namespace vorn {
namespace {

// Renames without replacing: a file that appeared at `to` is kept.
std::error_code placeWithoutReplacing(const std::filesystem::path& from,
                                      const std::filesystem::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return lastSystemError();
    }
    // A file system without that kind of rename: a hard link fails as well when the name
    // is taken. Once linked the file is in place, whatever the unlink of the hidden name
    // says.
    if (link(from.c_str(), to.c_str()) != 0) {
        return lastSystemError();
    }
    unlink(from.c_str());
    return {};
}

} // namespace

NewFile::NewFile(const std::filesystem::path& target, std::error_code& error) {
    std::string pattern = (target.parent_path() / ".vorn-new-XXXXXX").string();
    m_fd = FileDescriptor(mkostemp(pattern.data(), O_CLOEXEC));
    error = m_fd.valid() ? std::error_code() : lastSystemError();
    if (m_fd.valid()) {
        m_hidden = pattern;
    }
}

NewFile::~NewFile() {
    if (!m_placed && !m_hidden.empty()) {
        unlink(m_hidden.c_str());
    }
}

std::error_code NewFile::place(const std::filesystem::path& target) {
    if (m_hidden.empty()) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (const std::error_code closed = m_fd.close()) {
        return closed;
    }
    const std::error_code error = placeWithoutReplacing(m_hidden, target);
    m_placed = !error;
    return error;
}

} // namespace vorn
