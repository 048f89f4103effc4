#pragma once
// The library folder as a flat, sorted list of files, and the checks that turn a request
// path back into a relative path inside the library.

#include "library/WalkedFile.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::FolderWalk {

/// A walk of the library, with what it could not take in.
struct Listing {
    /// As `files` describes them.
    std::vector<WalkedFile> files;
    /// relPaths of files and folders left out because no request can name them: a "\"
    /// in the name (request paths refuse it, since other systems read it as a separator).
    std::vector<std::string> unrequestable;
    /// Folders that could not be read ("" for the library itself), with the reason.
    std::vector<std::string> unreadable;
};

/// Every regular file below `root`, hidden names, names that are not UTF-8 or hold a
/// backslash and links leaving the library left out, sorted case-insensitively by relPath
/// (stable).
Listing walk(const std::filesystem::path& root);
/// `walk(root).files`.
std::vector<WalkedFile> files(const std::filesystem::path& root);

/// Every folder named and each of its ancestors, once, sorted; never the root.
std::vector<std::string> foldersFromDirs(const std::vector<std::string>& dirs);
/// The folders of every item (records with a `folder`) of the lists, in list order, with
/// their ancestors: the folders a share offers as categories.
template <class... Lists> std::vector<std::string> sharedFolders(const Lists&... lists) {
    std::vector<std::string> dirs;
    (
        [&] {
            for (const auto& item : lists) {
                dirs.push_back(item.folder);
            }
        }(),
        ...);
    return foldersFromDirs(dirs);
}

/// The relative path a request path names: percent-decoded once more when `decode`,
/// split at "/" without empty pieces, joined again; absent when the path is malformed,
/// empty, or holds a hidden or climbing piece, a backslash or a NUL.
std::optional<std::string> requestRelPath(std::string_view requestPath, bool decode = true);

/// A relative path percent-encoded segment by segment for a URL.
std::string encodePath(std::string_view relativePath);

} // namespace vorn::FolderWalk
