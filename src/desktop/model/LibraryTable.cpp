#include "LibraryTable.h"

#include "Theme.h"
#include "library/FileStamp.h"
#include "library/HubConfig.h"
#include "platform/SizeText.h"
#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace vorn {
namespace {

// What a row sorts by under one key, name order breaking ties. Worked out once per row
// per sort, so the comparison itself is three integer compares.
struct SortEntry {
    std::int64_t first = 0;
    std::int64_t second = 0;
    std::uint32_t name = 0;
    const IndexedRow* row = nullptr;

    bool operator<(const SortEntry& o) const {
        return std::tie(first, second, name) < std::tie(o.first, o.second, o.name);
    }
};

std::int64_t kindRank(TableRow::Kind kind) {
    switch (kind) {
    case TableRow::Kind::image:
        return 0;
    case TableRow::Kind::track:
    case TableRow::Kind::pending:
    case TableRow::Kind::failed:
        return 1;
    case TableRow::Kind::picture:
    case TableRow::Kind::pendingPic:
    case TableRow::Kind::failedPic:
        return 2;
    }
    return 3;
}

// Dated rows lead; undated (pending) rows trail.
void byDate(SortEntry& e, const std::optional<Date>& date) {
    e.first = date ? 0 : 1;
    e.second = date ? std::int64_t(date->time_since_epoch().count()) : 0;
}

SortEntry sortEntry(const IndexedRow& r, SortKey key) {
    SortEntry e{0, 0, r.nameRank, &r};
    const TableRow& row = r.row;
    const DiskImage* image = row.image();
    switch (key) {
    case SortKey::type:
        e.first = kindRank(row.kind());
        e.second = row.isPending() ? 1 : 0;
        break;
    case SortKey::boot:
        e.first = image ? (image->bootable ? 0 : 1) : 2;
        break;
    case SortKey::name:
        break;
    case SortKey::folder:
        e.first = r.folderRank;
        break;
    case SortKey::volume:
        e.first = r.volumeRank;
        break;
    case SortKey::created:
        byDate(e, row.created());
        break;
    case SortKey::modified:
        byDate(e, row.modified());
        break;
    case SortKey::size:
        e.first = std::int64_t(row.bytes());
        break;
    case SortKey::blocks:
        e.first = image ? 0 : 1;
        e.second = image ? std::int64_t(image->blocks) : 0;
        break;
    }
    return e;
}

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::optional<std::string> pendingCell(const TableRow& row, TableColumn column) {
    switch (column) {
    case TableColumn::name:
        return row.name();
    case TableColumn::volume:
        return row.isFailed()                          ? "conversion failed"
               : row.kind() == TableRow::Kind::pending ? "transcoding..."
                                                       : "converting...";
    default:
        return "-";
    }
}

std::string volumeCell(const TableRow& row) {
    if (const DiskImage* image = row.image()) {
        return image->volumeName.value_or("-");
    }
    if (const AudioTrack* track = row.track()) {
        return TableRow::durationText(track->bytes);
    }
    return "SHR  click to preview";
}

std::string sizeCell(const TableRow& row) {
    return row.picture() ? "32 KB" : SizeText::kilobytesOrMegabytes(row.bytes());
}

// The widest a column may grow when no cap is given.
double defaultLimit(TableColumn column) {
    return column == TableColumn::name ? 420 : column == TableColumn::folder ? 150 : 640;
}

} // namespace

LibraryTable::LibraryTable() : m_cols(ColumnLayout::stock()) {}

void LibraryTable::setContents(std::shared_ptr<const LibraryContents> contents) {
    auto index = contents ? std::make_shared<const TableIndex>(*contents)
                          : std::make_shared<const TableIndex>();
    setContents(std::move(contents), std::move(index));
}

void LibraryTable::setContents(std::shared_ptr<const LibraryContents> contents,
                               std::shared_ptr<const TableIndex> index) {
    // The old index points into the old contents: replace it before letting them go.
    m_index = std::move(index);
    m_contents = std::move(contents);
    if (m_selectedFolder) {
        const auto& folders = m_contents ? m_contents->folders() : std::vector<std::string>{};
        if (std::find(folders.begin(), folders.end(), *m_selectedFolder) == folders.end()) {
            m_selectedFolder.reset();
        }
    }
}

void LibraryTable::setSelectedFolder(std::optional<std::string> folder) {
    m_selectedFolder = std::move(folder);
}

void LibraryTable::setSort(SortKey key) {
    if (key != m_sortKey) {
        m_sortKey = key;
        m_sortAscending = true;
    } else {
        m_sortAscending = !m_sortAscending;
    }
}

bool LibraryTable::inSelectedFolder(const TableRow& row) const {
    return !m_selectedFolder || HubConfig::under(row.folder(), *m_selectedFolder);
}

std::vector<const IndexedRow*> LibraryTable::listedRows() const {
    const bool disks = m_kindFilter == KindFilter::all || m_kindFilter == KindFilter::disks;
    const bool audio = m_kindFilter == KindFilter::all || m_kindFilter == KindFilter::audio;
    const bool pictures = m_kindFilter == KindFilter::all || m_kindFilter == KindFilter::pictures;
    std::vector<const IndexedRow*> rows;
    rows.reserve(m_index->rows().size());
    for (const IndexedRow& r : m_index->rows()) {
        using Kind = TableRow::Kind;
        const Kind kind = r.row.kind();
        const bool shown = kind == Kind::image ? disks : r.row.isAudio() ? audio : pictures;
        // Items still converting belong to no folder yet: they show for the whole library only.
        const bool placed = r.row.isPending() ? !m_selectedFolder : inSelectedFolder(r.row);
        if (shown && placed) {
            rows.push_back(&r);
        }
    }
    return rows;
}

std::vector<const IndexedRow*> LibraryTable::sortedIndexRows() const {
    const std::vector<const IndexedRow*> listed = listedRows();
    std::vector<SortEntry> entries;
    entries.reserve(listed.size());
    for (const IndexedRow* r : listed) {
        entries.push_back(sortEntry(*r, m_sortKey));
    }
    std::stable_sort(entries.begin(), entries.end());
    std::vector<const IndexedRow*> rows;
    rows.reserve(entries.size());
    for (const SortEntry& e : entries) {
        rows.push_back(e.row);
    }
    // The whole list is reversed, ties included, so descending mirrors ascending exactly.
    if (!m_sortAscending) {
        std::reverse(rows.begin(), rows.end());
    }
    return rows;
}

std::vector<TableRow> LibraryTable::sortedRows() const {
    std::vector<TableRow> rows;
    for (const IndexedRow* r : sortedIndexRows()) {
        rows.push_back(r->row);
    }
    return rows;
}

std::int64_t LibraryTable::count(KindFilter kind) const {
    return m_contents ? m_contents->count(m_selectedFolder, kind) : 0;
}

std::int64_t LibraryTable::count(const std::string& folder) const {
    return m_contents ? m_contents->count(folder, KindFilter::all) : 0;
}

std::int64_t LibraryTable::bootableCount() const {
    return m_contents ? m_contents->bootableCount(m_selectedFolder) : 0;
}

std::int64_t LibraryTable::libraryCount() const {
    return m_contents ? m_contents->libraryCount() : 0;
}

// A failed row points at its name in the catalog's list; the reason stands at its index.
std::string LibraryTable::failureReason(const TableRow& row) const {
    if (!row.isFailed() || !m_contents) {
        return {};
    }
    const bool audio = row.kind() == TableRow::Kind::failed;
    const std::vector<std::string>& names =
        audio ? m_contents->audio().failed : m_contents->stills().failed;
    const std::vector<std::string>& reasons =
        audio ? m_contents->audio().failedReasons : m_contents->stills().failedReasons;
    const auto at = std::size_t(static_cast<const std::string*>(row.item()) - names.data());
    return at < reasons.size() ? reasons[at] : std::string();
}

std::optional<std::string> LibraryTable::cellText(const TableRow& row, TableColumn column) {
    if (row.isPending()) {
        return pendingCell(row, column);
    }
    switch (column) {
    case TableColumn::type:
    case TableColumn::boot:
        return std::nullopt;
    case TableColumn::name:
        return row.name();
    case TableColumn::folder:
        return orDash(row.folder());
    case TableColumn::volume:
        return volumeCell(row);
    case TableColumn::created:
        return FileStamp::shortText(*row.created());
    case TableColumn::modified:
        return FileStamp::shortText(*row.modified());
    case TableColumn::size:
        return sizeCell(row);
    case TableColumn::blocks:
        return row.image() ? std::to_string(row.image()->blocks) : "-";
    }
    return std::nullopt;
}

std::string LibraryTable::headerTitle(TableColumn column) const {
    const std::string_view title = columnTitle(column);
    return Theme::of(m_look).isPhosphor ? Text::upper(title) : std::string(title);
}

double LibraryTable::textWidth(std::string_view text, int size, bool bold) const {
    return m_measure.width(text, m_look, size, bold);
}

double LibraryTable::cellWidth(const TableRow& row, TableColumn column, UITheme look,
                               TextMeasure& measure) {
    const int size = column == TableColumn::name ? 12 : 11;
    const std::optional<std::string> text = cellText(row, column);
    return text ? measure.width(*text, look, size, false) : 0;
}

// A scan's index arrives measured in the look shown, so fitting a column after a rescan
// only looks the widths up; another look, or a bare index, is measured here.
double LibraryTable::contentWidth(TableColumn column) const {
    const bool measured = m_index->measuredLook() == m_look;
    double w = 0;
    for (const IndexedRow* r : listedRows()) {
        w = std::max(w, measured ? double(r->widths[std::size_t(column)])
                                 : cellWidth(r->row, column, m_look, m_measure));
    }
    return w;
}

double LibraryTable::fitWidth(TableColumn column, std::optional<double> cap) const {
    double w = textWidth(headerTitle(column), 11, true) + 12;
    double fit = 0;
    switch (column) {
    case TableColumn::type:
        fit = std::max(std::max(w, 28.0) + 12, 30.0);
        break;
    case TableColumn::boot:
        fit = std::max(std::max(w, 20.0) + 4, 24.0);
        break;
    case TableColumn::name:
        fit = std::max(std::max(w, contentWidth(column)) + 12, 28.0);
        break;
    default:
        fit = std::max(std::max(w, contentWidth(column)) + 20, 28.0);
        break;
    }
    return std::min(fit, cap.value_or(defaultLimit(column)));
}

bool LibraryTable::autoLayoutColumns() {
    ColumnLayout layout = m_cols;
    const bool showFolder = m_contents && !m_contents->folders().empty();
    std::vector<TableColumn> autoCols;
    for (TableColumn c : allColumns) {
        if (c != TableColumn::name && (c != TableColumn::folder || showFolder)) {
            autoCols.push_back(c);
        }
    }
    const auto isUser = [&](TableColumn c) { return m_userCols.count(c) > 0; };
    for (TableColumn c : autoCols) {
        if (!isUser(c)) {
            layout.widths[c] = fitWidth(c);
        }
    }
    const double nameFit = fitWidth(TableColumn::name);
    if (!isUser(TableColumn::name)) {
        layout.widths[TableColumn::name] = nameFit;
    }
    if (m_tableWidth > 0) {
        double used = layout.width(TableColumn::name) + 20;
        std::vector<TableColumn> growable;
        for (TableColumn c : autoCols) {
            used += layout.width(c);
            if (!isUser(c) && c != TableColumn::type && c != TableColumn::boot) {
                growable.push_back(c);
            }
        }
        double spare = m_tableWidth - used;
        if (spare > 0 && !growable.empty()) {
            // Other columns get some air first (up to 36 each); the name takes the rest.
            const double per = std::min(spare * 0.66 / double(growable.size()), 36.0);
            for (TableColumn c : growable) {
                layout.widths[c] = layout.width(c) + per;
            }
            spare = m_tableWidth - (used + per * double(growable.size()));
        }
        if (!isUser(TableColumn::name)) {
            layout.widths[TableColumn::name] = std::max(nameFit + spare, 80.0);
        }
    }
    return storeLayout(layout);
}

bool LibraryTable::storeLayout(const ColumnLayout& layout) {
    if (layout == m_cols) {
        return false;
    }
    m_cols = layout;
    return true;
}

bool LibraryTable::setTableWidth(double width) {
    if (std::abs(width - m_tableWidth) <= 0.5) {
        return false;
    }
    m_tableWidth = width;
    return autoLayoutColumns();
}

bool LibraryTable::fitAllColumns() {
    m_userCols.clear();
    return autoLayoutColumns();
}

bool LibraryTable::setColumnWidth(TableColumn column, double width) {
    const double least = column == TableColumn::type ? 30 : column == TableColumn::boot ? 24 : 28;
    return storeWidth(column, std::clamp(width, least, 640.0));
}

bool LibraryTable::fitColumn(TableColumn column) {
    const std::optional<double> cap =
        column == TableColumn::folder ? std::optional<double>(360) : std::nullopt;
    return storeWidth(column, fitWidth(column, cap));
}

bool LibraryTable::storeWidth(TableColumn column, double width) {
    m_userCols.insert(column);
    ColumnLayout layout = m_cols;
    layout.widths[column] = width;
    return storeLayout(layout);
}

} // namespace vorn
