#include "library/LibraryRoot.h"

#include "library/BeneathWalk.h"
#include "platform/FileDescriptor.h"
#include "support/TempDir.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;

// What an open of `relPath` gave: the file's bytes, or "errno N (text)".
template <class Opener> std::string opened(const Opener& opener, const std::string& relPath) {
    const int fd = opener.open(relPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "errno " + std::to_string(errno) + " (" + std::strerror(errno) + ")";
    }
    char bytes[64];
    const ssize_t n = read(fd, bytes, sizeof bytes);
    close(fd);
    return std::string(bytes, std::size_t(std::max<ssize_t>(n, 0)));
}

std::string error(int code) {
    return "errno " + std::to_string(code) + " (" + std::strerror(code) + ")";
}

// Links of every kind, followed the same way whether the kernel resolves them or the
// piece-by-piece walk does: inside the library they lead to their file, relative or
// absolute, through linked folders and chains; anything that leaves is refused.
TEST(LibraryRootTest, LinksAreFollowedOnlyWhileTheyStayInside) {
    test::TempDir dir;
    const fs::path lib = dir / "lib";
    dir.write("lib/Games/Zork.po", "zork");
    dir.write("outside/secret.po", "secret");
    dir.link("lib/rel.po", "Games/Zork.po");
    dir.link("lib/abs.po", lib / "Games/Zork.po");
    dir.link("lib/Folder", "Games");
    dir.link("lib/AbsFolder", lib / "Games");
    dir.link("lib/Games/chain.po", "../rel.po");
    dir.link("lib/Given/abs.po", dir / "given/Games/Zork.po"); // through the name it was given
    dir.link("given", lib);
    dir.link("lib/out.po", "../outside/secret.po");
    dir.link("lib/absOut.po", dir / "outside/secret.po");
    dir.link("lib/OutFolder", dir / "outside");
    dir.link("lib/climb.po", lib / "../outside/secret.po");
    dir.link("lib/proc.po", "/proc/self/root" + (dir / "outside/secret.po").string());
    dir.link("lib/loop.po", "loop.po");
    dir.link("lib/dangling.po", "missing.po");

    const std::vector<std::pair<std::string, std::string>> cases{
        {"Games/Zork.po", "zork"},
        {"rel.po", "zork"},
        {"abs.po", "zork"},
        {"Folder/Zork.po", "zork"},
        {"AbsFolder/Zork.po", "zork"},
        {"Games/chain.po", "zork"},
        {"Given/abs.po", "zork"},
        {"out.po", error(EXDEV)},
        {"absOut.po", error(EXDEV)},
        {"OutFolder/secret.po", error(EXDEV)},
        {"climb.po", error(EXDEV)},
        {"proc.po", error(EXDEV)},
        {"Games/../../outside/secret.po", error(EXDEV)},
        {"loop.po", error(ELOOP)},
        {"dangling.po", error(ENOENT)},
        {"Games/Zork.po/x", error(ENOTDIR)},
    };
    const LibraryRoot library(dir / "given");
    const FileDescriptor folder(open((dir / "given").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const BeneathWalk walk(folder.get(), dir / "given");
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(opened(library, path), expected) << path << " (kernel first)";
        EXPECT_EQ(opened(walk, path), expected) << path << " (walk)";
    }
    EXPECT_EQ(opened(LibraryRoot(dir / "missing"), "Games/Zork.po"), error(ENOENT));
}

} // namespace
} // namespace vorn
