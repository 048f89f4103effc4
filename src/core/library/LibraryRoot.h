#pragma once
// The library folder held open, and files opened strictly inside it. Checking a name and
// then opening it leaves a gap in which anyone who can write into the library may switch
// a link to a file elsewhere; here the check and the open are one step, taken relative to
// the folder's own descriptor, so no name can lead a read or a write out of the library.

#include "library/BeneathWalk.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace vorn {

class LibraryRoot {
public:
    /// Opens the folder; every open fails with ENOENT when that did not work.
    explicit LibraryRoot(const std::filesystem::path& folder);
    ~LibraryRoot();
    LibraryRoot(const LibraryRoot&) = delete;
    LibraryRoot& operator=(const LibraryRoot&) = delete;

    /// The folder as given.
    const std::filesystem::path& folder() const { return m_folder; }

    /// Opens `relPath` (pieces joined by "/") below the folder with `flags` (O_CLOEXEC is
    /// added). Links are followed while they stay inside the library, absolute ones too
    /// when they name it by its path; a link leading elsewhere fails the open with EXDEV.
    /// Returns a descriptor the caller owns, or -1 with errno set.
    int open(std::string_view relPath, int flags) const;

    /// Whether `relPath` leads, at this moment, to the regular file with this device and
    /// inode, whose status then fills `now`. One system call and no descriptor: what a
    /// write checks before it reuses a file opened earlier. The name is followed wherever
    /// it goes, which is safe for this question: only the file that was itself opened
    /// inside the library matches.
    bool leadsTo(std::string_view relPath, std::uint64_t device, std::uint64_t inode,
                 struct stat& now) const;

    /// What tells one folder from another made at the same path: a deleted folder's inode
    /// number is reused at once, but not with the same birth time; a stick put back has
    /// the same device and inode, but is another mount.
    struct Identity {
        std::uint64_t device = 0, inode = 0, mount = 0;
        std::int64_t bornSeconds = 0;
        std::uint32_t bornNanoseconds = 0;
        bool operator==(const Identity&) const = default;
    };
    /// The folder held open; absent when none could be opened.
    std::optional<Identity> identity() const;
    /// The folder at `path` now; absent when there is none.
    static std::optional<Identity> identityAt(const std::filesystem::path& path);
    /// Whether the folder's path still names the folder held open: false once that was
    /// deleted, renamed, or hidden by a file system mounted over it (or never opened).
    bool stillAtPath() const;

private:
    int openByKernel(std::string_view relPath, int flags) const;

    std::filesystem::path m_folder;
    int m_fd = -1;
    /// Where openat2 is missing or refused: the same rule, one name at a time.
    BeneathWalk m_walk;
};

} // namespace vorn
