// Paging, searches and the claiming of names are the audio catalog's and tested there; what
// differs here is the entry, the stem of the page names and which cache files count.

#include "pictures/PictureCatalog.h"

#include "library/FolderWalk.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vorn {
namespace {

// A transcoder that counts as ready (it never runs here) and one that does not.
class PictureCatalogTest : public ::testing::Test {
protected:
    PictureCatalogTest() { std::filesystem::create_directories(m_dir / "cache/shr"); }
    PictureCatalog scan(const PictureTranscoder& transcoder) const {
        return PictureCatalog::scan(FolderWalk::files(m_dir / "lib"), transcoder);
    }
    test::TempDir m_dir;
    Preferences m_preferences{m_dir / "preferences.json"};
    PictureTranscoder m_ready{m_preferences, m_dir / "cache", std::string("/nonexistent/python3"),
                              std::string("img2shr.py")};
    PictureTranscoder m_notReady{m_preferences, m_dir / "cache", std::nullopt,
                                 std::string("img2shr.py")};
};

TEST_F(PictureCatalogTest, PagesNameTheNextOneAndEntriesHaveNoDuration) {
    for (int i = 10; i <= 27; ++i) {
        m_dir.write("lib/Art/Pic " + std::to_string(i) + ".shr", std::string(1000, 'x'));
    }
    const PictureCatalog catalog = scan(m_ready);
    EXPECT_NE(catalog.pageJSON(1, "http://lan:8271/").find(" \"next\": \"vorn-pictures-2.json\","),
              std::string::npos);
    EXPECT_EQ(catalog.pageJSON(2, "http://lan:8271/"),
              "{ \"pages\": 2, \"total\": 18, \"catalog\": \"pictures\", \"tracks\": [\n"
              "  { \"name\": \"Pic 27\", \"bytes\": 1000, \"source\": \"lan\", "
              "\"url\": \"http://lan:8271/pictures/Art/Pic%2027.shr\" }\n] }\n");
}

TEST_F(PictureCatalogTest, OnlyWholeScreensOfTheCurrentKnobsAreServed) {
    const auto screenA = m_dir.write("lib/A/Title.shr", std::string(1000, 'x'));
    const auto sourceB = m_dir.write("lib/B/Title.png", "png");
    const auto sourceC = m_dir.write("lib/C/Title.jpg", "jpg");
    // Pretend that B was converted and C damaged in the cache.
    const auto cacheB = m_ready.cachedSHR(sourceB, StillPic::Knobs{});
    std::ofstream(cacheB) << std::string(32712, 'x');
    std::ofstream(m_ready.cachedSHR(sourceC, StillPic::Knobs{})) << std::string(32768, 'x');

    const PictureCatalog catalog = scan(m_notReady);
    EXPECT_EQ(catalog.awaitingConverter, 1) << "a damaged cache file is no conversion";
    ASSERT_EQ(catalog.pictures.size(), 2u);
    EXPECT_EQ(catalog.pictures[0].bytes, 1000u) << "a library screen is served at any size";
    EXPECT_EQ(catalog.pictures[0].previewPath, screenA.string() + "_preview.png");
    // The picture a library screen came from, when one beside it is shown.
    m_dir.write("lib/A/Title.tif", "tif");
    EXPECT_EQ(catalog.pictures[0].originalPath(), std::nullopt) << "TIFF is never shown";
    const auto jpeg = m_dir.write("lib/A/Title.jpeg", "jpeg");
    m_dir.write("lib/A/Title.png", "png");
    EXPECT_EQ(catalog.pictures[0].originalPath(), jpeg) << "jpeg comes before png";
    const StillPic& b = catalog.pictures[1];
    EXPECT_EQ(b.shrPath, cacheB);
    EXPECT_EQ(b.previewPath, cacheB.string() + "_preview.png");
    EXPECT_EQ(b.bytes, 32712u);
    EXPECT_EQ(b.originalPath(), sourceB);

    // New knobs select another cache file: the picture waits for its conversion again.
    ASSERT_TRUE(m_ready.saveKnobs(StillPic::Knobs{2, 1.1, false}, sourceB));
    EXPECT_EQ(scan(m_ready).pendingSources, (std::vector<std::filesystem::path>{sourceB, sourceC}));

    // A failure stands for the knobs it was made with.
    std::ofstream(ConversionCache::marker(m_ready.cachedSHR(sourceC, StillPic::Knobs{})))
        << "exit status 1\n";
    PictureCatalog failed = scan(m_ready);
    EXPECT_EQ(failed.failed, std::vector<std::string>{"Title"});
    EXPECT_EQ(failed.pendingSources, std::vector<std::filesystem::path>{sourceB});
    ASSERT_TRUE(m_ready.saveKnobs(StillPic::Knobs{1.45, 1.1, true}, sourceC));
    EXPECT_EQ(scan(m_ready).pendingSources, (std::vector<std::filesystem::path>{sourceB, sourceC}));
}

} // namespace
} // namespace vorn
