#include "library/FolderWalk.h"

#include "platform/Files.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace vorn::FolderWalk {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

struct Walker {
    std::string realRootSlash; // real root + "/", the prefix every link target must have
    Listing listing;

    bool linkStaysInside(const std::string& path) const {
        return Files::realPath(path).starts_with(realRootSlash);
    }

    static bool isRegularFile(const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    }

    // Directory entries are typed by readdir on the file systems that matter, so the
    // walk stats only links and the rare entry of unknown type.
    void walk(const std::filesystem::path& dirPath, const std::string& folder) {
        std::unique_ptr<DIR, DirCloser> dir(opendir(dirPath.c_str()));
        if (!dir) {
            // A folder that is not there (any more) is no read error: the owner learns of a
            // missing library from its identity, and of a missing subfolder not at all.
            if (errno != ENOENT) {
                listing.unreadable.push_back((folder.empty() ? "the library folder" : folder) +
                                             ": " + std::strerror(errno));
            }
            return;
        }
        while (const dirent* entry = readdir(dir.get())) {
            const std::string_view name(entry->d_name);
            if (name.empty() || name.front() == '.') {
                continue; // hidden, and also "." and ".."
            }
            // A request path must decode to UTF-8, so such a name could be listed but
            // never fetched; leave it out (and everything below it) instead.
            if (!Text::isValidUtf8(name)) {
                continue;
            }
            if (name.find('\\') != std::string_view::npos) {
                listing.unrequestable.push_back(FileName::relPath(folder, name));
                continue;
            }
            std::filesystem::path path = dirPath / entry->d_name;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat info {};
                if (lstat(path.c_str(), &info) != 0) {
                    continue;
                }
                type = S_ISDIR(info.st_mode)   ? DT_DIR
                       : S_ISREG(info.st_mode) ? DT_REG
                       : S_ISLNK(info.st_mode) ? DT_LNK
                                               : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                walk(path, FileName::relPath(folder, name));
            } else if (type == DT_REG) {
                listing.files.push_back({std::move(path), folder});
            } else if (type == DT_LNK && linkStaysInside(path.string()) &&
                       isRegularFile(path.string())) {
                listing.files.push_back({std::move(path), folder});
            }
        }
    }
};

} // namespace

Listing walk(const std::filesystem::path& root) {
    Walker walker;
    walker.realRootSlash = Files::realPath(root.string()) + "/";
    walker.walk(root, "");
    Text::stableSort(walker.listing.files, [](const WalkedFile& f) { return f.relPath(); });
    return std::move(walker.listing);
}

std::vector<WalkedFile> files(const std::filesystem::path& root) {
    return walk(root).files;
}

std::vector<std::string> foldersFromDirs(const std::vector<std::string>& dirs) {
    std::set<std::string> unique;
    for (const std::string& dir : dirs) {
        std::vector<std::string> pieces = Text::splitNonEmpty(dir, '/');
        while (!pieces.empty()) {
            unique.insert(Text::join(pieces, "/"));
            pieces.pop_back();
        }
    }
    std::vector<std::string> result(unique.begin(), unique.end());
    Text::stableSort(result, [](const std::string& s) { return s; });
    return result;
}

std::optional<std::string> requestRelPath(std::string_view requestPath, bool decode) {
    std::optional<std::string> decoded =
        decode ? Text::percentDecode(requestPath) : std::optional(std::string(requestPath));
    if (!decoded) {
        return std::nullopt;
    }
    const std::vector<std::string> pieces = Text::splitNonEmpty(*decoded, '/');
    if (pieces.empty()) {
        return std::nullopt;
    }
    for (const std::string& piece : pieces) {
        // "." and ".." begin with a full stop too, so this also stops climbing.
        // A NUL would cut the path short in every system call that follows.
        if (piece.front() == '.' ||
            piece.find_first_of(std::string_view("\\\0", 2)) != std::string::npos) {
            return std::nullopt;
        }
    }
    return Text::join(pieces, "/");
}

std::string encodePath(std::string_view relativePath) {
    std::vector<std::string> pieces = Text::splitNonEmpty(relativePath, '/');
    for (std::string& piece : pieces) {
        piece = Text::percentEncode(piece);
    }
    return Text::join(pieces, "/");
}

} // namespace vorn::FolderWalk
