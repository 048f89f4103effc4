#include "FolderTree.h"

#include "library/HubConfig.h"
#include "platform/Text.h"

#include <algorithm>

namespace vorn {

void FolderTree::setFolders(std::vector<std::string> folders) {
    m_folders = std::move(folders);
    std::erase_if(m_collapsed, [&](const std::string& path) {
        return std::find(m_folders.begin(), m_folders.end(), path) == m_folders.end();
    });
}

bool FolderTree::hasChildren(const std::string& path) const {
    const std::string prefix = path + "/";
    return std::any_of(m_folders.begin(), m_folders.end(),
                       [&](const std::string& f) { return f.starts_with(prefix); });
}

bool FolderTree::isVisible(const std::string& path) const {
    std::vector<std::string> pieces = Text::splitNonEmpty(path, '/');
    if (!pieces.empty()) {
        pieces.pop_back();
    }
    for (; !pieces.empty(); pieces.pop_back()) {
        if (m_collapsed.count(Text::join(pieces, "/")) > 0) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> FolderTree::visibleFolders() const {
    std::vector<std::string> visible;
    std::copy_if(m_folders.begin(), m_folders.end(), std::back_inserter(visible),
                 [&](const std::string& f) { return isVisible(f); });
    return visible;
}

void FolderTree::toggleCollapsed(const std::string& path) {
    if (m_collapsed.erase(path) == 0) {
        m_collapsed.insert(path);
    }
}

void FolderTree::setCollapsed(bool on, const std::optional<std::string>& below) {
    for (const std::string& f : m_folders) {
        if ((below && !HubConfig::under(f, *below)) || !hasChildren(f)) {
            continue;
        }
        if (on) {
            m_collapsed.insert(f);
        } else {
            m_collapsed.erase(f);
        }
    }
}

bool FolderTree::allCollapsed() const {
    bool any = false;
    for (const std::string& f : m_folders) {
        if (hasChildren(f)) {
            any = true;
            if (m_collapsed.count(f) == 0) {
                return false;
            }
        }
    }
    return any;
}

} // namespace vorn
