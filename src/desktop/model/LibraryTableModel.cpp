#include "LibraryTableModel.h"

#include "QtText.h"
#include "TableColumn.h"

#include <unordered_map>

namespace vorn {
namespace {

// Past this many separate runs of removed or added rows a rescan is announced as a
// reset: the library changed wholesale, and a view handles one reset faster than
// hundreds of scattered insertions.
constexpr int kMaxRuns = 100;

// Runs of consecutive true flags.
int runs(const std::vector<bool>& flags) {
    int n = 0;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        n += flags[i] && (i == 0 || !flags[i - 1]) ? 1 : 0;
    }
    return n;
}

} // namespace

struct LibraryTableModel::Target {
    std::shared_ptr<const LibraryContents> contents;
    /// Holds the rows' ids.
    std::shared_ptr<const TableIndex> index;
    std::vector<TableRow> rows;
    std::vector<const std::string*> ids;
    /// The rows come from another scan than the one shown.
    bool newScan = false;
    /// Per new row, its position before, or -1 when it was not listed.
    std::vector<int> from;
    /// Per new row: from[i] < 0.
    std::vector<bool> added;
    /// Per old row: it is not listed any more.
    std::vector<bool> gone;
};

LibraryTableModel::LibraryTableModel(const LibraryTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_look(table.look()) {}

LibraryTableModel::~LibraryTableModel() = default;

void LibraryTableModel::refresh() {
    Target t;
    t.contents = m_table.contents();
    t.index = m_table.index();
    t.newScan = t.index != m_index;
    const std::vector<const IndexedRow*> sorted = m_table.sortedIndexRows();
    t.rows.reserve(sorted.size());
    t.ids.reserve(sorted.size());
    for (const IndexedRow* r : sorted) {
        t.rows.push_back(r->row);
        t.ids.push_back(&r->id);
    }
    match(t);
    if (runs(t.gone) + runs(t.added) > kMaxRuns) {
        resetTo(t);
    } else {
        removeGone(t);
        reorder(t);
        insertNew(t);
        m_rows = std::move(t.rows);
        m_ids = std::move(t.ids);
        // A new scan keeps the rows' identities, not necessarily their content (sizes,
        // dates): every cell is redrawn once.
        if (t.newScan && !m_rows.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }
    }
    m_contents = std::move(t.contents);
    m_index = std::move(t.index);
    if (m_look != m_table.look()) {
        m_look = m_table.look();
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    }
}

// Within one scan an id is one string in the index, compared by address; across scans
// ids are compared by text.
void LibraryTableModel::match(Target& t) const {
    t.from.assign(t.rows.size(), -1);
    t.gone.assign(m_ids.size(), true);
    const auto link = [&](auto& oldPositions, auto key) {
        oldPositions.reserve(m_ids.size());
        for (std::size_t i = 0; i < m_ids.size(); ++i) {
            oldPositions.emplace(key(m_ids[i]), int(i));
        }
        for (std::size_t i = 0; i < t.ids.size(); ++i) {
            if (auto it = oldPositions.find(key(t.ids[i])); it != oldPositions.end()) {
                t.from[i] = it->second;
                t.gone[std::size_t(it->second)] = false;
            }
        }
    };
    if (t.newScan) {
        std::unordered_map<std::string_view, int> oldPositions;
        link(oldPositions, [](const std::string* id) { return std::string_view(*id); });
    } else {
        std::unordered_map<const std::string*, int> oldPositions;
        link(oldPositions, [](const std::string* id) { return id; });
    }
    t.added.resize(t.rows.size());
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        t.added[i] = t.from[i] < 0;
    }
}

void LibraryTableModel::removeGone(const Target& t) {
    for (int last = int(t.gone.size()) - 1; last >= 0; --last) {
        if (!t.gone[std::size_t(last)]) {
            continue;
        }
        int first = last;
        while (first > 0 && t.gone[std::size_t(first - 1)]) {
            --first;
        }
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        m_ids.erase(m_ids.begin() + first, m_ids.begin() + last + 1);
        endRemoveRows();
        last = first;
    }
}

// After the removals the kept rows stand in their old order; they take their new order
// among themselves, and persistent indexes (selection, current row) go with them.
void LibraryTableModel::reorder(const Target& t) {
    std::vector<int> shift(t.gone.size() + 1, 0); // old position -> position after removals
    for (std::size_t i = 0; i < t.gone.size(); ++i) {
        shift[i + 1] = shift[i] + (t.gone[i] ? 0 : 1);
    }
    std::vector<int> newPlace(m_rows.size());
    std::vector<std::size_t> kept;
    kept.reserve(m_rows.size());
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        if (!t.added[i]) {
            newPlace[std::size_t(shift[std::size_t(t.from[i])])] = int(kept.size());
            kept.push_back(i);
        }
    }
    bool moved = false;
    for (std::size_t p = 0; p < newPlace.size() && !moved; ++p) {
        moved = newPlace[p] != int(p);
    }
    if (!moved) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& p : from) {
        to.append(index(newPlace[std::size_t(p.row())], p.column()));
    }
    changePersistentIndexList(from, to);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        m_rows[k] = t.rows[kept[k]];
        m_ids[k] = t.ids[kept[k]];
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void LibraryTableModel::insertNew(const Target& t) {
    for (std::size_t first = 0; first < t.added.size(); ++first) {
        if (!t.added[first]) {
            continue;
        }
        std::size_t end = first;
        while (end < t.added.size() && t.added[end]) {
            ++end;
        }
        const auto at = std::ptrdiff_t(first), stop = std::ptrdiff_t(end);
        beginInsertRows(QModelIndex(), int(first), int(end) - 1);
        m_rows.insert(m_rows.begin() + at, t.rows.begin() + at, t.rows.begin() + stop);
        m_ids.insert(m_ids.begin() + at, t.ids.begin() + at, t.ids.begin() + stop);
        endInsertRows();
        first = end;
    }
}

void LibraryTableModel::resetTo(Target& t) {
    beginResetModel();
    m_rows = std::move(t.rows);
    m_ids = std::move(t.ids);
    m_contents = t.contents;
    m_index = t.index;
    endResetModel();
}

void LibraryTableModel::refreshActivity() {
    if (!m_rows.empty()) {
        const int type = int(TableColumn::type);
        emit dataChanged(index(0, type), index(rowCount() - 1, type), {ActivityRole});
    }
}

std::optional<int> LibraryTableModel::rowOf(const std::string& id) const {
    for (std::size_t i = 0; i < m_ids.size(); ++i) {
        if (*m_ids[i] == id) {
            return int(i);
        }
    }
    return std::nullopt;
}

int LibraryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LibraryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(allColumns.size());
}

QVariant LibraryTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const TableRow& row = m_rows[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole: {
        const auto text = LibraryTable::cellText(row, allColumns[std::size_t(index.column())]);
        return text ? QVariant(qText(*text)) : QVariant();
    }
    case Qt::ToolTipRole: {
        const std::string reason = m_table.failureReason(row);
        return reason.empty() ? QVariant() : QVariant(qText("Conversion failed: " + reason));
    }
    case KindRole:
        return int(row.kind());
    case IdRole:
        return qText(*m_ids[std::size_t(index.row())]);
    case ActivityRole:
        return int(m_activity ? m_activity(row) : Activity::none);
    default:
        return {};
    }
}

QVariant LibraryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount()) {
        return {};
    }
    return qText(m_table.headerTitle(allColumns[std::size_t(section)]));
}

QHash<int, QByteArray> LibraryTableModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractTableModel::roleNames();
    names.insert(KindRole, "kind");
    names.insert(IdRole, "rowId");
    names.insert(ActivityRole, "activity");
    return names;
}

} // namespace vorn
