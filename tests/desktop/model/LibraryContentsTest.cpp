#include "model/LibraryContents.h"

#include "demo/ProDosVolume.h"
#include "desktop/model/TableFixture.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(LibraryContentsTest, OneScanFillsEveryList) {
    test::TempDir dir;
    ProDosVolumeSpec spec;
    spec.volumeName = "ZORK";
    spec.files.push_back({"PRODOS", 0xFF, 0, std::string(600, 'P')});
    dir.write("lib/Games/Deep/Zork.po", ProDosVolume::build(spec));
    dir.write("lib/Old Game.dsk", std::string(143360, '\0'));
    dir.write("lib/Music/Chime.pcm", std::string(21973, '\x80'));
    dir.write("lib/Art/Sunset.shr", std::string(StillPic::shrBytes, 'x'));
    dir.write("lib/notes.txt", "not shared\n");

    test::IdleConverters converters;
    const LibraryContents c = LibraryContents::scan(converters.get(), dir / "lib", true);
    ASSERT_EQ(c.images.size(), 1u);
    EXPECT_EQ(c.images[0].volumeName, "ZORK");
    EXPECT_TRUE(c.images[0].bootable);
    EXPECT_EQ(c.rejected, 1) << "the Disk II image is counted as skipped";
    ASSERT_EQ(c.tracks().size(), 1u);
    EXPECT_EQ(c.tracks()[0].displayName, "Chime");
    ASSERT_EQ(c.pictures().size(), 1u);
    EXPECT_EQ(c.folders, (std::vector<std::string>{"Art", "Games", "Games/Deep", "Music"}))
        << "folders of shared items with their ancestors";
    EXPECT_EQ(c.libraryCount(), 3);
    EXPECT_EQ(c.count(std::string("Games"), KindFilter::all), 1);
    EXPECT_EQ(c.bootableCount(std::string("Music")), 0);

    const LibraryContents none = LibraryContents::scan(converters.get(), {}, true);
    EXPECT_EQ(none.libraryCount(), 0) << "no library folder, nothing listed";
    EXPECT_TRUE(none.folders.empty());
}

} // namespace
} // namespace vorn
