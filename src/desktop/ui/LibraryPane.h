#pragma once
// The right side of the split: a panel titled by the table's filter and folder, with the
// counts line, and the table, or what to do when there is nothing to list.

#include "Panel.h"

class QStackedWidget;

namespace vorn {

class CountsLine;
class EmptyState;
class LibraryView;
class ShareModel;

class LibraryPane : public Panel {
    Q_OBJECT
public:
    explicit LibraryPane(ShareModel& model, QWidget* parent = nullptr);

    LibraryView* view() const { return m_view; }
    CountsLine* counts() const { return m_counts; }
    EmptyState* emptyState() const { return m_empty; }
    /// Whether the table (rather than the empty state) is showing.
    bool showsTable() const;

private:
    void showContents();

    ShareModel& m_model;
    CountsLine* m_counts;
    QStackedWidget* m_stack;
    LibraryView* m_view;
    EmptyState* m_empty;
};

} // namespace vorn
