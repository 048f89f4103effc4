#pragma once
// The library table as a Qt item model for the window's view. Rows keep their identity
// (the row id) across re-sorts and rescans, so selection, current row and scrolling
// follow the items instead of the positions.

#include "Activity.h"
#include "LibraryContents.h"
#include "LibraryTable.h"
#include "TableRow.h"

#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

class LibraryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role {
        /// int(TableRow::Kind) of the row.
        KindRole = Qt::UserRole + 1,
        /// The row id as a QString.
        IdRole,
        /// int(Activity) of the row's light, from the activity function.
        ActivityRole,
    };

    /// Tells what a row's light shows (the owner knows the card's last reads and writes).
    using ActivityFn = std::function<Activity(const TableRow&)>;

    /// `table` must outlive the model; its rows are read only by refresh().
    explicit LibraryTableModel(const LibraryTable& table, QObject* parent = nullptr);
    ~LibraryTableModel() override;

    void setActivityFunction(ActivityFn activity) { m_activity = std::move(activity); }
    /// Takes the table's rows again after its contents, filter, folder, sort or look
    /// changed: removed, moved and added rows are announced as such.
    void refresh();
    /// Only the activity lights changed (the once-a-second tick).
    void refreshActivity();

    /// The row at `row` (0 <= row < rowCount()).
    const TableRow& tableRow(int row) const { return m_rows[std::size_t(row)]; }
    /// The position of the row with this id, if it is listed.
    std::optional<int> rowOf(const std::string& id) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    struct Target;
    void match(Target& target) const;
    void removeGone(const Target& target);
    void reorder(const Target& target);
    void insertNew(const Target& target);
    void resetTo(Target& target);

    const LibraryTable& m_table;
    ActivityFn m_activity;
    /// The contents m_rows point into; kept until the rows are replaced.
    std::shared_ptr<const LibraryContents> m_contents;
    /// The index of m_contents, which holds the rows' ids.
    std::shared_ptr<const TableIndex> m_index;
    std::vector<TableRow> m_rows;
    /// Per row, its id in m_index.
    std::vector<const std::string*> m_ids;
    UITheme m_look;
};

} // namespace vorn
