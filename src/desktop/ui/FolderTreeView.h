#pragma once
// The sidebar's folder tree: the library's root row and every listed folder, indented by
// depth, with disclosure triangles (turning in 0.12 s), folder glyphs, counts, labels and
// category badges. A click on a row chooses the table's folder, on a triangle folds the
// folder (Alt-click: with everything below it), on a badge puts the folder on the Apple II
// or takes it off. With the keyboard: up and down choose, left and right fold, space
// toggles the category.

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QMenu;

namespace vorn {

class LibraryModel;
class Look;
class ShareModel;

class FolderTreeView : public QWidget {
    Q_OBJECT
public:
    /// `model` for the library folder and its own actions (reveal, the categories sheet).
    FolderTreeView(ShareModel& model, LibraryModel& library, Look& look, QWidget* parent = nullptr);

    static constexpr int rowHeight = 20;

    /// What lies under a point of a row.
    enum class Part { row, disclosure, badge, label };

    /// The rows in order: the root (no path), then the listed folders.
    const std::vector<std::optional<std::string>>& rows() const { return m_rows; }
    /// The row of `path` (none: the root), if listed.
    std::optional<int> rowOf(const std::optional<std::string>& path) const;
    /// Where a part of a row is drawn, in this widget's coordinates (empty when not drawn).
    QRect partRect(int row, Part part) const;
    /// The tooltip at a point; empty for none.
    QString help(const QPoint& pos) const;
    /// The menu of a row, as a right click shows it.
    void fillMenu(QMenu& menu, int row);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Turn {
        double now;
        double target;
    };

    void refresh();
    int depth(int row) const;
    bool hasDisclosure(int row) const;
    bool isOpen(int row) const;
    Part partAt(int row, const QPoint& pos) const;
    void fold(int row, bool all);
    void select(int row);
    int selectedRow() const;
    void paintRow(QPainter& p, int row);
    void stepTurns();

    ShareModel& m_model;
    LibraryModel& m_library;
    Look& m_look;
    std::vector<std::optional<std::string>> m_rows;
    int m_hovered = -1;
    std::map<std::string, Turn> m_turns;
    QTimer m_turnTimer;
    QElapsedTimer m_turnClock;
};

} // namespace vorn
