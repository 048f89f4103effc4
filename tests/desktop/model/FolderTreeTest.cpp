#include "model/FolderTree.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

using Names = std::vector<std::string>;

TEST(FolderTreeTest, ChildrenAreWholeComponents) {
    FolderTree tree;
    tree.setFolders({"Disk", "Disks", "Disks/One"});
    EXPECT_FALSE(tree.hasChildren("Disk")) << "Disks is not a child of Disk";
    EXPECT_TRUE(tree.hasChildren("Disks"));
}

TEST(FolderTreeTest, CollapseAllAndRescans) {
    FolderTree tree;
    tree.setFolders({"A", "B"});
    tree.setCollapsed(true);
    EXPECT_TRUE(tree.collapsed().empty()) << "folders without children are never collapsed";
    EXPECT_FALSE(tree.allCollapsed());

    tree.setFolders({"A", "A/B", "A/B/C", "D", "D/E"});
    tree.setCollapsed(true, std::string("A"));
    EXPECT_EQ(tree.collapsed(), (std::set<std::string>{"A", "A/B"})) << "only below A";
    EXPECT_FALSE(tree.allCollapsed());
    tree.setCollapsed(true);
    EXPECT_TRUE(tree.allCollapsed());
    EXPECT_EQ(tree.visibleFolders(), (Names{"A", "D"}));

    tree.setFolders({"A", "A/B", "A/B/C"});
    EXPECT_EQ(tree.collapsed(), (std::set<std::string>{"A", "A/B"}))
        << "gone folders are forgotten";
    tree.setCollapsed(false);
    EXPECT_TRUE(tree.collapsed().empty());
}

} // namespace
} // namespace vorn
