#pragma once
// The sheet of the card's "Your source" categories: which library folders the card lists,
// in which order and under which label, with the folders that can still be added, the
// naming option and the way back to the defaults. Every change goes through the model,
// which stores it and tells a running share at once. Open while the model's
// showCategories() is true.

#include "Sheet.h"

#include <vector>

class QLayout;
class QListWidget;
class QScrollArea;

namespace vorn {

class A2Button;
class A2Toggle;
class CategoryRow;
class LibraryModel;
class ShareModel;
class ThemedLabel;

class CategoriesSheet : public Sheet {
    Q_OBJECT
public:
    /// `snapshotMode`: labels as plain text, the "Add Folder..." list closed, every row
    /// shown however many there are.
    /// Edits the categories of `library`; `model` gives the look and the sheet's flag.
    CategoriesSheet(ShareModel& model, LibraryModel& library, bool snapshotMode,
                    QWidget* parent = nullptr);

    /// The rows shown, one per category, in order.
    const std::vector<CategoryRow*>& rows() const { return m_rows; }
    A2Button* addButton() const { return m_add; }
    /// The folders "Add Folder..." offers; shown while it is open.
    QListWidget* addList() const { return m_addList; }
    A2Toggle* prefixToggle() const { return m_prefix; }
    A2Button* resetButton() const { return m_reset; }

protected:
    void closeByUser() override;

private:
    QWidget* intro();
    QLayout* table();
    QLayout* addPart();
    QLayout* prefixPart();
    void refresh();
    void showRows();
    void fitRowsArea();
    void orderTabs();
    void showCandidates();
    void moveRow(int index, int step);
    void setAddOpen(bool open);

    LibraryModel& m_library;
    std::vector<CategoryRow*> m_rows;
    ThemedLabel* m_noFolders;
    ThemedLabel* m_noCategories;
    QWidget* m_header = nullptr;
    QScrollArea* m_rowsArea = nullptr;
    QWidget* m_rowsBox = nullptr;
    ThemedLabel* m_overflow;
    A2Button* m_add = nullptr;
    QListWidget* m_addList = nullptr;
    A2Toggle* m_prefix = nullptr;
    A2Button* m_reset;
};

} // namespace vorn
