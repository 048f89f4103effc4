#include "LibraryTableModel.h"

#include "TableColumn.h"

#include <unordered_map>
#include <unordered_set>

namespace vorn {
namespace {

// Past this many separate runs of removed or added rows a rescan is announced as a
// reset: the library changed wholesale, and a view handles one reset faster than
// hundreds of scattered insertions.
constexpr int kMaxRuns = 100;

QString qText(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Two pending files may share a display name; the second and later get a suffix so that
// every listed row has an identity of its own.
std::vector<std::string> uniqueIds(const std::vector<TableRow>& rows) {
    std::vector<std::string> ids;
    ids.reserve(rows.size());
    std::unordered_map<std::string, int> seen;
    seen.reserve(rows.size());
    for (const TableRow& row : rows) {
        std::string id = row.id();
        if (const int n = ++seen[id]; n > 1) {
            id += "\x1f" + std::to_string(n);
        }
        ids.push_back(std::move(id));
    }
    return ids;
}

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
    std::vector<TableRow> rows;
    std::vector<std::string> ids;
    /// New position of every id.
    std::unordered_map<std::string_view, int> position;
    /// Per old row: its id is not listed any more.
    std::vector<bool> gone;
    /// Per new row: its id was not listed before.
    std::vector<bool> added;
};

LibraryTableModel::LibraryTableModel(const LibraryTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_look(table.look()) {}

void LibraryTableModel::refresh() {
    Target t{m_table.contents(), m_table.sortedRows(), {}, {}, {}, {}};
    t.ids = uniqueIds(t.rows);
    t.position.reserve(t.ids.size());
    for (std::size_t i = 0; i < t.ids.size(); ++i) {
        t.position.emplace(t.ids[i], int(i));
    }
    const std::unordered_set<std::string_view> old(m_ids.begin(), m_ids.end());
    for (const std::string& id : m_ids) {
        t.gone.push_back(t.position.count(id) == 0);
    }
    for (const std::string& id : t.ids) {
        t.added.push_back(old.count(id) == 0);
    }
    if (runs(t.gone) + runs(t.added) > kMaxRuns) {
        resetTo(t);
    } else {
        removeGone(t);
        reorder(t);
        insertNew(t);
        m_rows = t.rows;
        // Rows kept their identity, not necessarily their content (a rescan sees new sizes
        // and dates): every cell is redrawn once.
        if (!m_rows.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }
    }
    m_contents = std::move(t.contents);
    if (m_look != m_table.look()) {
        m_look = m_table.look();
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
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

void LibraryTableModel::reorder(const Target& t) {
    std::vector<std::string> survivors;
    survivors.reserve(m_ids.size());
    for (std::size_t i = 0; i < t.ids.size(); ++i) {
        if (!t.added[i]) {
            survivors.push_back(t.ids[i]);
        }
    }
    if (survivors == m_ids) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::unordered_map<std::string_view, int> at;
    for (std::size_t i = 0; i < survivors.size(); ++i) {
        at.emplace(survivors[i], int(i));
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    for (const QModelIndex& p : from) {
        to.append(index(at.at(m_ids[std::size_t(p.row())]), p.column()));
    }
    changePersistentIndexList(from, to);
    m_ids = std::move(survivors);
    for (std::size_t i = 0; i < m_ids.size(); ++i) {
        m_rows[i] = t.rows[std::size_t(t.position.at(m_ids[i]))];
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
        beginInsertRows(QModelIndex(), int(first), int(end) - 1);
        m_rows.insert(m_rows.begin() + std::ptrdiff_t(first),
                      t.rows.begin() + std::ptrdiff_t(first), t.rows.begin() + std::ptrdiff_t(end));
        m_ids.insert(m_ids.begin() + std::ptrdiff_t(first), t.ids.begin() + std::ptrdiff_t(first),
                     t.ids.begin() + std::ptrdiff_t(end));
        endInsertRows();
        first = end;
    }
}

void LibraryTableModel::resetTo(Target& t) {
    beginResetModel();
    m_rows = std::move(t.rows);
    m_ids = std::move(t.ids);
    m_contents = t.contents;
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
        if (m_ids[i] == id) {
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
    case KindRole:
        return int(row.kind());
    case IdRole:
        return qText(m_ids[std::size_t(index.row())]);
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
