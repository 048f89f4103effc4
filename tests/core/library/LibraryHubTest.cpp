#include "library/LibraryHub.h"

#include "library/ShareSettings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

using Names = std::vector<std::string>;

class LibraryHubTest : public ::testing::Test {
protected:
    std::optional<std::string> stored(const std::string& library) const {
        return m_preferences.string("vxm.hub." + library);
    }

    test::TempDir m_dir;
    Preferences m_preferences{m_dir / "preferences.json"};
    LibraryHub m_hub{m_preferences};
    const Names m_folders{"Apps", "Games", "Utils"};
};

TEST_F(LibraryHubTest, EachLibraryKeepsItsOwnCategories) {
    EXPECT_FALSE(m_hub.load("/lib/one"));
    EXPECT_EQ(m_hub.hub(m_folders), HubConfig::defaults(m_folders));
    m_hub.toggleCategory("Games", m_folders);
    m_hub.setCategoryLabel("Utils", "Tools", m_folders);
    const HubConfig one = m_hub.hubOverride().value();
    EXPECT_EQ(HubConfig::decode(stored("/lib/one").value_or("")), one);

    EXPECT_FALSE(m_hub.load("/lib/two")) << "another library starts with the defaults";
    m_hub.setPrefixSubfolder(true, m_folders);
    m_hub.moveCategories({2}, 0, m_folders);
    EXPECT_EQ(m_hub.hubOverride()->cats.front().path, "Utils");

    EXPECT_TRUE(m_hub.load("/lib/one"));
    EXPECT_EQ(m_hub.hubOverride(), one) << "returning to a library finds its categories";
    EXPECT_TRUE(HubConfig::decode(stored("/lib/two").value_or(""))->prefixSubfolder);

    m_hub.setOverride(std::nullopt);
    EXPECT_EQ(stored("/lib/one"), std::nullopt) << "Reset to Defaults removes the stored value";
}

TEST_F(LibraryHubTest, UndecodableDataIsRemovedAtLoad) {
    EXPECT_TRUE(m_preferences.set("vxm.hub./lib", "{\"cats\": [{\"label\": \"no path\"}]}"));
    EXPECT_TRUE(m_preferences.set("vxm.hub./other", true));
    EXPECT_FALSE(m_hub.load("/lib"));
    EXPECT_EQ(m_hub.hubOverride(), std::nullopt);
    EXPECT_EQ(stored("/lib"), std::nullopt);
    m_hub.load("/other");
    EXPECT_FALSE(m_preferences.boolean("vxm.hub./other")) << "a value of the wrong type goes too";
}

TEST_F(LibraryHubTest, WithoutALibraryEditsStayInMemory) {
    m_hub.load("");
    EXPECT_EQ(m_hub.setCategoryLabel("Music", "Tunes", m_folders), LibraryHub::Outcome::declined);
    EXPECT_EQ(m_hub.hubOverride(), std::nullopt) << "labelling a non-category creates nothing";
    m_hub.toggleCategory("Games", m_folders);
    EXPECT_EQ(m_hub.hubOverride()->cats.size(), 2u);
    EXPECT_EQ(stored(""), std::nullopt);
}

// Two programs (the desktop's sheet and `vorn-share categories`) each loaded the
// categories before the other edited them: every edit still counts, and one that cannot be
// stored leaves the stored categories as they were.
TEST_F(LibraryHubTest, EditsApplyToWhatTheFileHoldsAndAFailedOneRemovesNothing) {
    Preferences otherFile(m_dir / "preferences.json");
    LibraryHub other(otherFile);
    m_hub.load("/lib");
    other.load("/lib");
    EXPECT_EQ(m_hub.toggleCategory("Games", m_folders), LibraryHub::Outcome::stored);
    EXPECT_EQ(other.setCategoryLabel("Apps", "Programs", m_folders), LibraryHub::Outcome::stored);
    const HubConfig both{{{"Apps", "Programs"}, {"Utils", std::nullopt}}, false};
    const auto inFile = [&] {
        return ShareSettings::hub(Preferences(m_dir / "preferences.json"), "/lib");
    };
    EXPECT_EQ(inFile(), both) << "an edit made from stale categories undid the other program's";
    EXPECT_EQ(other.hubOverride(), both);

    EXPECT_EQ(m_hub.setCategoryLabel("Utils", "\xff\xfe", m_folders), LibraryHub::Outcome::failed);
    EXPECT_EQ(inFile(), both) << "a label that is not UTF-8 wiped the stored categories";
    EXPECT_EQ(m_hub.hubOverride(), both) << "a failed edit leaves the stored categories known";
    EXPECT_EQ(m_hub.setCategoryLabel("Music", "Tunes", m_folders), LibraryHub::Outcome::declined);
}

} // namespace
} // namespace vorn
