#include "library/LibraryHub.h"

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
    m_preferences.set("vxm.hub./lib", "{\"cats\": [{\"label\": \"no path\"}]}");
    m_preferences.set("vxm.hub./other", true);
    EXPECT_FALSE(m_hub.load("/lib"));
    EXPECT_EQ(m_hub.hubOverride(), std::nullopt);
    EXPECT_EQ(stored("/lib"), std::nullopt);
    m_hub.load("/other");
    EXPECT_FALSE(m_preferences.boolean("vxm.hub./other")) << "a value of the wrong type goes too";
}

TEST_F(LibraryHubTest, WithoutALibraryEditsStayInMemory) {
    m_hub.load("");
    EXPECT_FALSE(m_hub.setCategoryLabel("Music", "Tunes", m_folders));
    EXPECT_EQ(m_hub.hubOverride(), std::nullopt) << "labelling a non-category creates nothing";
    m_hub.toggleCategory("Games", m_folders);
    EXPECT_EQ(m_hub.hubOverride()->cats.size(), 2u);
    EXPECT_EQ(stored(""), std::nullopt);
}

} // namespace
} // namespace vorn
