#include "library/BeneathWalk.h"

#include "platform/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {
namespace {

// As many links as the kernel itself follows in one lookup.
constexpr int kMaxLinks = 40;
// Folders on the way are only passed through: O_PATH needs no read permission on them.
constexpr int kThroughFolder = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int fail(int error) {
    errno = error;
    return -1;
}

// The pieces of a path, without empty ones and "." (both change nothing); ".." stays.
std::vector<std::string> pieces(std::string_view path) {
    std::vector<std::string> out;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view piece = path.substr(0, slash);
        if (!piece.empty() && piece != ".") {
            out.emplace_back(piece);
        }
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    }
    return out;
}

std::vector<std::string> absolutePieces(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return pieces((ec ? path : full).lexically_normal().string());
}

std::optional<std::string> linkTarget(int dir, const std::string& name) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = readlinkat(dir, name.c_str(), target.data(), target.size());
    if (n < 0 || std::size_t(n) >= target.size()) {
        return std::nullopt;
    }
    target.resize(std::size_t(n));
    return target;
}

// One name in a folder, never followed if it is a link: that fails with ELOOP, or with
// ENOTDIR where a folder was asked for.
int openPiece(int folder, const std::string& name, int flags) {
    const int fd = openat(folder, name.c_str(), flags | O_NOFOLLOW);
    struct stat info {};
    if (fd >= 0 && (flags & O_PATH) && fstat(fd, &info) == 0 && S_ISLNK(info.st_mode)) {
        close(fd); // O_PATH opens the link itself
        return fail(ELOOP);
    }
    return fd;
}

// The folders a walk is in, innermost last; the walk's own folder is not ours to close.
class FolderStack {
public:
    explicit FolderStack(int root) : m_root(root) {}

    int top() const { return m_fds.empty() ? m_root : m_fds.back().get(); }
    void push(int fd) { m_fds.emplace_back(fd); }
    /// Steps out of the innermost folder; false at the walk's own folder.
    bool pop() {
        if (m_fds.empty()) {
            return false;
        }
        m_fds.pop_back();
        return true;
    }
    void backToRoot() { m_fds.clear(); }

private:
    int m_root;
    std::vector<FileDescriptor> m_fds;
};

} // namespace

BeneathWalk::BeneathWalk(int folderFd, const std::filesystem::path& folder)
    : m_fd(folderFd), m_given(absolutePieces(folder)) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(folder.c_str(), nullptr), &std::free);
    if (real) {
        m_real = pieces(real.get());
    }
}

// Every piece is opened on its own, relative to the folder reached so far and never
// following a link; a link met on the way is read and its target walked by the same rule.
int BeneathWalk::open(std::string_view relPath, int flags) const {
    FolderStack folders(m_fd);
    std::vector<std::string> start = pieces(relPath);
    std::deque<std::string> todo(start.begin(), start.end());
    int links = 0;
    while (!todo.empty()) {
        const std::string name = std::move(todo.front());
        todo.pop_front();
        if (name == "..") {
            if (!folders.pop()) {
                return fail(EXDEV);
            }
            continue;
        }
        const bool last = todo.empty();
        const int fd = openPiece(folders.top(), name, last ? flags : kThroughFolder);
        if (fd >= 0 && last) {
            return fd;
        }
        if (fd >= 0) {
            folders.push(fd);
            continue;
        }
        const int error = errno;
        const std::optional<std::string> target =
            error == ELOOP || error == ENOTDIR ? linkTarget(folders.top(), name) : std::nullopt;
        if (!target) {
            return fail(error); // no link: a missing name, or a file where a folder must be
        }
        std::vector<std::string> next = pieces(*target);
        if (++links > kMaxLinks) {
            return fail(ELOOP);
        }
        if (target->starts_with('/')) {
            if (!belowFolder(next)) {
                return fail(EXDEV);
            }
            folders.backToRoot();
        }
        todo.insert(todo.begin(), next.begin(), next.end());
    }
    return openat(folders.top(), ".", flags); // the path ended in a folder
}

bool BeneathWalk::belowFolder(std::vector<std::string>& target) const {
    for (const std::vector<std::string>* name : {&m_given, &m_real}) {
        if (!name->empty() && target.size() >= name->size() &&
            std::equal(name->begin(), name->end(), target.begin())) {
            target.erase(target.begin(), target.begin() + std::ptrdiff_t(name->size()));
            return true;
        }
    }
    return false;
}

} // namespace vorn
