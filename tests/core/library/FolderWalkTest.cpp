#include "library/FolderWalk.h"

#include "platform/Text.h"
#include "server/OpenFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// The library file the share reads for a request path, as the card's reads find it.
std::optional<fs::path> resolve(std::string_view requestPath, const fs::path& root) {
    const std::optional<OpenFile> file = OpenFiles().library(requestPath, root);
    return file ? std::optional(file->path) : std::nullopt;
}

std::vector<std::string> relPaths(const std::vector<WalkedFile>& files) {
    std::vector<std::string> out;
    for (const WalkedFile& f : files) {
        out.push_back(f.relPath());
    }
    return out;
}

// A library with hidden entries and links of every kind, next to a folder outside it.
class FolderWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.write("outside/secret.po", "x");
        m_dir.write("lib/b.po", "b");
        m_dir.write("lib/A.po", "a");
        m_dir.write("lib/Games/c.po", "c");
        m_dir.write("lib/Games/Arcade/x.po", "x");
        m_dir.write("lib/.hidden.po", "h");
        m_dir.write("lib/.secret/inside.po", "s");
        m_dir.write("lib/back\\slash.po", "\\");
        m_dir.link("lib/inside-link.po", m_dir / "lib/A.po");
        m_dir.link("lib/relative-link.po", "Games/c.po");
        m_dir.link("lib/outside-link.po", m_dir / "outside/secret.po");
        m_dir.link("lib/FolderLink", m_dir / "lib/Games");
        m_dir.link("lib/OutLink", m_dir / "outside");
        m_dir.link("lib/RootLink.po", m_dir / "lib");
        m_dir.link("lib/dangling.po", m_dir / "lib/missing.po");
    }
    fs::path root() const { return m_dir / "lib"; }

    TempDir m_dir;
};

TEST_F(FolderWalkTest, ListsVisibleFilesSortedAndKeepsLinksInside) {
    const FolderWalk::Listing listing = FolderWalk::walk(root());
    const std::vector<WalkedFile>& files = listing.files;
    const std::vector<std::string> expected{"A.po",       "b.po",           "Games/Arcade/x.po",
                                            "Games/c.po", "inside-link.po", "relative-link.po"};
    EXPECT_EQ(relPaths(files), expected)
        << "case-insensitive order; hidden names, links leaving the library, the root link, "
           "dangling links and linked folders are all left out";
    // No request can name it (see below): listed, it would only answer 404.
    EXPECT_EQ(listing.unrequestable, std::vector<std::string>{"back\\slash.po"});
    ASSERT_EQ(files.size(), expected.size());
    EXPECT_EQ(files[2].folder, "Games/Arcade");
    EXPECT_EQ(files[4].path, root() / "inside-link.po") << "links are reported unresolved";
    EXPECT_EQ(FolderWalk::sharedFolders(files), (std::vector<std::string>{"Games", "Games/Arcade"}))
        << "every folder holding a file, never the root";
    EXPECT_TRUE(FolderWalk::files(m_dir / "missing").empty());
}

// A backslash is a legal name character here, but some clients treat it as a separator,
// so a request must not contain one; the walk leaves such a file out.
TEST_F(FolderWalkTest, ResolveRefusesUnsafeOrMissingPathsAndFindsFilesInside) {
    for (const char* path :
         {"", "/", "Games/../A.po", "./A.po", "Games/./c.po", "%2E%2E/outside/secret.po",
          ".hidden.po", ".secret/inside.po", "back%5Cslash.po", "A%ZZ.po", "Games", "Games/",
          "missing.po", "A.po%00.txt", "A.po%00", "outside-link.po", "dangling.po",
          "OutLink/secret.po"}) {
        EXPECT_EQ(resolve(path, root()), std::nullopt) << "'" << path << "'";
    }
    EXPECT_EQ(resolve("Games%2FArcade/x.po", root()), root() / "Games/Arcade/x.po")
        << "an encoded slash separates folders once decoded";
    EXPECT_EQ(resolve("//Games//c.po", root()), root() / "Games/c.po");
    EXPECT_EQ(resolve("inside-link.po", root()), root() / "inside-link.po")
        << "the result is the unresolved candidate";
    EXPECT_EQ(resolve("A.po", m_dir / "lib/"), m_dir / "lib/A.po");
}

// The card fetches what the catalog lists by URL: every listed file must come back through
// resolve from its encoded relPath, whatever bytes the file system allows in its name, and
// also as the server has it, decoded once by the request parser (resolve decodes again).
TEST(FolderWalk, EveryListedFileResolvesFromItsEncodedPath) {
    TempDir dir;
    for (const char* name :
         {"Star Run #2.po", "Caf\xC3\xA9/100%.po", "Games/Arcade/a+b?.po", "new\nline.po",
          "a%20b.po", "Latin1 caf\xE9.po", "Old\xFE/x.po", "Back\\slash.po", "Odd\\Folder/y.po"}) {
        dir.write(name, "x");
    }
    const std::vector<WalkedFile> files = FolderWalk::files(dir.path());
    for (const WalkedFile& f : files) {
        const std::string encoded = FolderWalk::encodePath(f.relPath());
        EXPECT_EQ(resolve(encoded, dir.path()), f.path) << "listed but unreachable: " << encoded;
        const std::string once = Text::percentDecode(encoded).value_or("");
        EXPECT_EQ(resolve(once, dir.path()), f.path)
            << "listed but unreachable once decoded: " << once;
    }
    EXPECT_EQ(relPaths(files),
              (std::vector<std::string>{"a%20b.po", "Caf\xC3\xA9/100%.po", "Games/Arcade/a+b?.po",
                                        "new\nline.po", "Star Run #2.po"}))
        << "names that are not UTF-8 or hold a backslash cannot be named in a request, so "
           "they are not listed";
}

TEST(FolderWalk, FoldersIncludeEveryAncestorOnceSorted) {
    const std::vector<std::string> dirs{"Games/Arcade", "", "zip/Old/New", "/zip//Old/", "apps"};
    EXPECT_EQ(FolderWalk::foldersFromDirs(dirs),
              (std::vector<std::string>{"apps", "Games", "Games/Arcade", "zip", "zip/Old",
                                        "zip/Old/New"}));
}

} // namespace
} // namespace vorn
