#pragma once
// Draws the library table's cells in the look: striped rows, the type chip beside the
// activity light, the boot and "R" chips, and the cell texts at their sizes and insets.
// It also answers the rows' tooltips.

#include <QStyledItemDelegate>

namespace vorn {

class ShareModel;
class TableRow;
enum class TableColumn;

class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit RowDelegate(ShareModel& model, QObject* parent = nullptr);

    /// Pixels left of a cell's text; the name column gives back some on its right.
    static constexpr int inset = 10;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    /// The tooltip of a cell at `x` pixels into it; empty for none.
    QString help(const QModelIndex& index, int x) const;

private:
    void paintTypeCell(QPainter& p, const QRectF& r, const QModelIndex& index) const;
    void paintBootCell(QPainter& p, const QRectF& r, const TableRow& row) const;
    void paintText(QPainter& p, const QRectF& r, const QModelIndex& index, TableColumn column,
                   const QColor& ink) const;

    ShareModel& m_model;
};

} // namespace vorn
