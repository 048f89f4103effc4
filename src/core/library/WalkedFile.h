#pragma once

#include "library/FileName.h"

#include <filesystem>
#include <string>

namespace vorn {

/// One file found by the library walk.
struct WalkedFile {
    /// The library root's path followed by the relative components; links unresolved.
    std::filesystem::path path;
    /// Relative folder path ("Games/Arcade"); empty for the library root.
    std::string folder;

    /// The last path component of `path`.
    std::string fileName() const { return path.filename().string(); }
    /// The file's identity throughout the system.
    std::string relPath() const { return FileName::relPath(folder, fileName()); }

    bool operator==(const WalkedFile&) const = default;
};

} // namespace vorn
