#pragma once
// The sidebar: what the table shows. The kind rows choose a kind, the folder tree a
// folder; the folders' header opens the categories sheet and folds the whole tree.

#include "Panel.h"
#include "model/TableKeys.h"

#include <array>

class QScrollArea;

namespace vorn {

class A2Button;
class FolderTreeView;
class KindRow;
class LibraryModel;
class ShareModel;

class Sidebar : public Panel {
    Q_OBJECT
public:
    /// `model` for the categories sheet and, in the folder tree, its own actions.
    Sidebar(ShareModel& model, LibraryModel& library, Look& look, QWidget* parent = nullptr);

    KindRow* kindRow(KindFilter kind) const { return m_kinds[std::size_t(kind)]; }
    FolderTreeView* tree() const { return m_tree; }
    A2Button* categoriesButton() const { return m_categories; }
    A2Button* expandButton() const { return m_expand; }
    A2Button* collapseButton() const { return m_collapse; }

private:
    QLayout* foldersHeader();
    void restyle();

    ShareModel& m_model;
    LibraryModel& m_library;
    std::array<KindRow*, 4> m_kinds{};
    A2Button* m_categories;
    A2Button* m_expand;
    A2Button* m_collapse;
    QScrollArea* m_scroll;
    FolderTreeView* m_tree;
};

} // namespace vorn
