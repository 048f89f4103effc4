#pragma once
// The sidebar's folder tree: which library folders it lists, given the collapsed ones.

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vorn {

class FolderTree {
public:
    /// The library's folders (relative paths, ancestors included, sorted), after a scan.
    /// Collapsed folders that are gone are forgotten.
    void setFolders(std::vector<std::string> folders);
    const std::vector<std::string>& folders() const { return m_folders; }
    /// Folders whose children are hidden; not kept between runs.
    const std::set<std::string>& collapsed() const { return m_collapsed; }

    /// Whether some folder lies below `path`.
    bool hasChildren(const std::string& path) const;
    /// False when an ancestor of `path` is collapsed; a folder's own state never hides it.
    bool isVisible(const std::string& path) const;
    /// The folders the sidebar lists, in order.
    std::vector<std::string> visibleFolders() const;
    void toggleCollapsed(const std::string& path);
    /// Collapses or expands every folder with children at or below `below` (all when absent).
    void setCollapsed(bool on, const std::optional<std::string>& below = std::nullopt);
    /// True when there are folders with children and every one of them is collapsed.
    bool allCollapsed() const;

private:
    std::vector<std::string> m_folders;
    std::set<std::string> m_collapsed;
};

} // namespace vorn
