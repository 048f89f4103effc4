#pragma once
// A file that appears whole or not at all: written under a hidden name beside the place
// it is meant for, then given its name without replacing anything found there.

#include "platform/FileDescriptor.h"

#include <filesystem>
#include <system_error>

namespace vorn {

class NewFile {
public:
    /// An empty file, readable and writable by this user only, under a short hidden name
    /// in `target`'s folder (the library walk and the folder watcher skip hidden names;
    /// `target`'s own name may be as long as a name can be). `error` says why not.
    NewFile(const std::filesystem::path& target, std::error_code& error);
    /// Removes the file unless it was placed.
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    int fd() const { return m_fd.get(); }
    /// Closes the file (a full disk may show only there) and names it `target`. When
    /// something has that name meanwhile, it is kept and the error is file_exists: the
    /// file stays hidden, to be placed under another name.
    std::error_code place(const std::filesystem::path& target);

private:
    std::filesystem::path m_hidden;
    FileDescriptor m_fd;
    bool m_placed = false;
};

} // namespace vorn
