// Where versions live, on a disk that fills up while their folder is made.

#include "versions/VersionStore.h"

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;

// An empty name file would stay empty for good: it is only written when missing.
TEST(VersionStoreTest, NameFilesAreWholeOrAbsentNeverEmpty) {
    const test::TempDir dir;
    const VersionStore store(dir / "versions");
    const fs::path folder = store.folderOf(dir / "lib", "Games/Disk.po");
    {
        const test::FileSizeLimit full(0);
        EXPECT_EQ(store.makeFolder(dir / "lib", "Games/Disk.po"), std::errc::file_too_large);
    }
    EXPECT_EQ(test::namesIn(folder.parent_path()),
              std::vector<std::string>{folder.filename().string()})
        << "a name file or its temporary was left behind";
    EXPECT_FALSE(store.makeFolder(dir / "lib", "Games/Disk.po"));
    EXPECT_EQ(test::slurp(folder.parent_path() / "library"), (dir / "lib").string() + "\n");
    EXPECT_EQ(test::slurp(folder / "image"), "Games/Disk.po\n");
}

} // namespace
} // namespace vorn
