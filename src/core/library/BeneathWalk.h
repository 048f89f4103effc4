#pragma once
// Opening a path below a folder one name at a time, for kernels (or system call filters)
// without openat2. The kernel is never asked to resolve more than one name, never follows
// a link and never climbs with "..": links are read and their targets walked by the same
// rule, and the walk keeps the folders it passed, so it cannot step above its own.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class BeneathWalk {
public:
    /// Walks below the folder open as `folderFd` (an O_PATH descriptor the caller keeps
    /// open while this is used) at `folder`. An absolute link may name the folder by its
    /// absolute path as given or by its real path.
    BeneathWalk(int folderFd, const std::filesystem::path& folder);

    /// Opens `relPath` with `flags`, following links while they stay below the folder; a
    /// link leading elsewhere fails with EXDEV. A descriptor the caller owns, or -1 with
    /// errno set.
    int open(std::string_view relPath, int flags) const;

private:
    /// Cuts the folder's own path off the pieces of an absolute link target; false when the
    /// target does not begin with it.
    bool belowFolder(std::vector<std::string>& target) const;

    int m_fd;
    // Two names of the folder an absolute link may use: its absolute path as given and its
    // real path, both split into pieces.
    std::vector<std::string> m_given;
    std::vector<std::string> m_real;
};

} // namespace vorn
