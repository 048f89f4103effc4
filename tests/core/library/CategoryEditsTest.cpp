#include "library/CategoryEdits.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

using Names = std::vector<std::string>;

Names paths(const HubConfig& hub) {
    Names out;
    for (const HubCategory& c : hub.cats) {
        out.push_back(c.path);
    }
    return out;
}

HubConfig hubOf(const Names& paths) {
    HubConfig hub;
    for (const std::string& p : paths) {
        hub.cats.push_back({p, std::nullopt});
    }
    return hub;
}

TEST(CategoryEditsTest, ToggleTwiceMovesADefaultToTheEnd) {
    const HubConfig defaults = HubConfig::defaults({"Apps", "Games", "Games/Arcade", "Utils"});
    const HubConfig off = CategoryEdits::toggleCategory(defaults, "Games");
    EXPECT_EQ(paths(off), (Names{"Apps", "Utils"}));
    EXPECT_EQ(paths(CategoryEdits::toggleCategory(off, "Games")),
              (Names{"Apps", "Utils", "Games"}));
    EXPECT_EQ(paths(CategoryEdits::toggleCategory(defaults, "Games/Arcade")),
              (Names{"Apps", "Games", "Utils", "Games/Arcade"}));
}

TEST(CategoryEditsTest, MoveKeepsTheMovedInOrderBeforeTheDestination) {
    const HubConfig hub = hubOf({"A", "B", "C", "D"});
    EXPECT_EQ(paths(CategoryEdits::moveCategories(hub, {0, 2}, 4)), (Names{"B", "D", "A", "C"}));
    EXPECT_EQ(paths(CategoryEdits::moveCategories(hub, {3}, 0)), (Names{"D", "A", "B", "C"}));
    EXPECT_EQ(paths(CategoryEdits::moveCategories(hub, {1}, 2)), (Names{"A", "B", "C", "D"}))
        << "dropping an entry just below itself leaves it in place";
    EXPECT_EQ(paths(CategoryEdits::moveCategories(hub, {1, 9}, 99)), (Names{"A", "C", "D", "B"}))
        << "offsets past the end are ignored";
}

TEST(CategoryEditsTest, CandidatesAreTheFoldersNotYetCategories) {
    EXPECT_EQ(CategoryEdits::hubCandidates(hubOf({"Games"}), {"Art", "Games", "Games/Arcade"}),
              (Names{"Art", "Games/Arcade"}));
}

} // namespace
} // namespace vorn
