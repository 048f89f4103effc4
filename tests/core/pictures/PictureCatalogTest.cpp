#include "pictures/PictureCatalog.h"

#include "library/FolderWalk.h"
#include "pictures/PictureTranscoder.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vorn {
namespace {

constexpr std::string_view kBase = "http://lan:8271/";

std::string entry(const std::string& name, std::uint64_t bytes, const std::string& path) {
    return "  { \"name\": \"" + name + "\", \"bytes\": " + std::to_string(bytes) +
           ", \"source\": \"lan\", \"url\": \"http://lan:8271/pictures/" + path + "\" }";
}

// A transcoder that counts as ready (it never runs here) and one that does not.
class PictureCatalogTest : public ::testing::Test {
protected:
    PictureCatalog scan(const PictureTranscoder& transcoder) const {
        return PictureCatalog::scan(FolderWalk::files(m_dir / "lib"), transcoder);
    }
    // Pretends `source` was converted with its current knobs into `bytes` bytes.
    std::filesystem::path converted(const std::string& source, std::size_t bytes) const {
        const auto picture = m_dir / ("lib/" + source);
        const auto cache = PictureTranscoder::cachedSHR(picture, PictureTranscoder::knobs(picture));
        std::ofstream(cache, std::ios::binary) << std::string(bytes, 'x');
        return cache;
    }

    test::TempDir m_dir;
    PictureTranscoder m_ready{std::string("/nonexistent/python3"), std::string("img2shr.py")};
    PictureTranscoder m_notReady{std::nullopt, std::string("img2shr.py")};
};

TEST_F(PictureCatalogTest, PagesOfSeventeenNameTheNextOne) {
    EXPECT_EQ(scan(m_ready).pageJSON(1, kBase),
              "{ \"pages\": 1, \"total\": 0, \"catalog\": \"pictures\", \"tracks\": [\n] }\n");
    for (int i = 1; i <= 18; ++i) {
        m_dir.write("lib/Art/Pic " + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".shr",
                    std::string(1000, 'x'));
    }
    // The frame and paging are the audio catalog's; what differs is the entry.
    const PictureCatalog catalog = scan(m_ready);
    EXPECT_NE(catalog.pageJSON(1, kBase).find(" \"next\": \"vorn-pictures-2.json\","),
              std::string::npos);
    EXPECT_EQ(catalog.pageJSON(2, kBase),
              "{ \"pages\": 2, \"total\": 18, \"catalog\": \"pictures\", \"tracks\": [\n" +
                  entry("Pic 18", 1000, "Art/Pic%2018.shr") + "\n] }\n");
}

TEST_F(PictureCatalogTest, LibraryScreensClaimTheirNames) {
    m_dir.write("lib/A/Title.shr", std::string(1000, 'x'));
    m_dir.write("lib/A/Title.png", "png");
    m_dir.write("lib/B/Title.shr", "");
    const auto sourceB = m_dir.write("lib/B/Title.png", "png");
    m_dir.write("lib/C/Title.jpg", "jpg");
    m_dir.write("lib/C/Title.png", "png");

    PictureCatalog catalog = scan(m_ready);
    ASSERT_EQ(catalog.pictures.size(), 1u);
    EXPECT_EQ(catalog.pictures[0].fileName, "A/Title.shr");
    EXPECT_EQ(catalog.pictures[0].bytes, 1000u) << "a library screen is served at any size";
    EXPECT_EQ(catalog.pictures[0].previewURL,
              (m_dir / "lib/A/Title.shr").string() + "_preview.png");
    EXPECT_EQ(catalog.pending, (std::vector<std::string>{"Title", "Title"}));
    EXPECT_EQ(catalog.pendingSources,
              (std::vector<std::filesystem::path>{sourceB, m_dir / "lib/C/Title.jpg"}));

    const auto cacheB = converted("B/Title.png", 32712);
    converted("C/Title.jpg", 32768);
    catalog = scan(m_notReady);
    EXPECT_EQ(catalog.awaitingConverter, 1) << "a damaged cache file is no conversion";
    EXPECT_TRUE(catalog.pending.empty());
    ASSERT_EQ(catalog.pictures.size(), 2u);
    const StillPic& b = catalog.pictures[1];
    EXPECT_EQ(b.fileName, "B/Title.shr") << "an empty .shr file claims nothing";
    EXPECT_EQ(b.shrURL, cacheB);
    EXPECT_EQ(b.previewURL, cacheB.string() + "_preview.png");
    EXPECT_EQ(b.bytes, 32712u);
    EXPECT_EQ(b.originalURL(), sourceB);

    // New knobs select another cache file: the picture waits for its conversion again.
    PictureTranscoder::saveKnobs(StillPic::Knobs{2, 1.1, false}, sourceB);
    EXPECT_EQ(scan(m_ready).pending, (std::vector<std::string>{"Title", "Title"}));
}

TEST_F(PictureCatalogTest, OriginalOfALibraryScreen) {
    StillPic pic;
    pic.sourceURL = m_dir.write("lib/Title.shr", std::string(32712, 'x'));
    m_dir.write("lib/Title.tif", "tif");
    EXPECT_EQ(pic.originalURL(), std::nullopt) << "TIFF is converted but never shown";
    const auto jpeg = m_dir.write("lib/Title.jpeg", "jpeg");
    m_dir.write("lib/Title.png", "png");
    EXPECT_EQ(pic.originalURL(), jpeg) << "jpeg comes before png";
}

} // namespace
} // namespace vorn
