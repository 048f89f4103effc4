#pragma once
// The logic of the library table: which rows it lists for the current filter and folder,
// their order, the text of every cell, the counts, and how wide each column is.

#include "ColumnLayout.h"
#include "LibraryContents.h"
#include "TableColumn.h"
#include "TableIndex.h"
#include "TableKeys.h"
#include "TableRow.h"
#include "TextMeasure.h"
#include "UITheme.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

/// Lives on the GUI thread (it measures text with the look's fonts). Setting an input
/// never re-lays the columns by itself: the owner calls autoLayoutColumns() where the
/// window expects it, and the Boolean results say whether `cols` really changed.
class LibraryTable {
public:
    LibraryTable();

    // Inputs.
    /// The newest scan. A selected folder that the scan no longer has is dropped.
    void setContents(std::shared_ptr<const LibraryContents> contents);
    /// The same with the scan's index made already (the collation keys of every name take
    /// longer than the GUI thread may stall; the scanner's worker makes them).
    void setContents(std::shared_ptr<const LibraryContents> contents,
                     std::shared_ptr<const TableIndex> index);
    const std::shared_ptr<const LibraryContents>& contents() const { return m_contents; }
    const std::shared_ptr<const TableIndex>& index() const { return m_index; }
    /// The sidebar's folder (a relative folder path); absent for the whole library.
    void setSelectedFolder(std::optional<std::string> folder);
    const std::optional<std::string>& selectedFolder() const { return m_selectedFolder; }
    void setLook(UITheme look) { m_look = look; }
    UITheme look() const { return m_look; }
    void setKindFilter(KindFilter filter) { m_kindFilter = filter; }
    KindFilter kindFilter() const { return m_kindFilter; }

    // Sorting.
    SortKey sortKey() const { return m_sortKey; }
    bool sortAscending() const { return m_sortAscending; }
    /// A header click: a new key sorts ascending, the current key flips the direction.
    void setSort(SortKey key);
    /// The rows the filter and the folder let through, sorted; valid while contents() lives.
    std::vector<TableRow> sortedRows() const;
    /// The same rows as the index holds them (with their ids); valid while index() lives.
    std::vector<const IndexedRow*> sortedIndexRows() const;

    // Counts.
    /// Images, tracks or pictures (all three for `all`) in the selected folder.
    std::int64_t count(KindFilter kind) const;
    /// Images, tracks and pictures in `folder` or below it.
    std::int64_t count(const std::string& folder) const;
    std::int64_t bootableCount() const;
    std::int64_t libraryCount() const;

    // Cell texts.
    /// Why the conversion of a failed row's file failed; empty for other rows.
    std::string failureReason(const TableRow& row) const;
    /// The text of a cell; absent where the window draws a symbol instead.
    static std::optional<std::string> cellText(const TableRow& row, TableColumn column);
    /// The column's header title as the look shows it (upper case in the 8-bit look).
    std::string headerTitle(TableColumn column) const;

    // Column widths.
    const ColumnLayout& cols() const { return m_cols; }
    /// Columns whose width the user set; automatic layout leaves them alone.
    const std::set<TableColumn>& userCols() const { return m_userCols; }
    double tableWidth() const { return m_tableWidth; }
    /// The width the window has for the table; a change of more than half a pixel is
    /// stored and re-lays the columns. True when `cols` changed.
    bool setTableWidth(double width);
    /// "Fit All Columns": forgets the user's widths and lays everything out again.
    bool fitAllColumns();
    /// Widths from the content, the name column taking (or giving back) what is left.
    bool autoLayoutColumns();
    /// The width that fits the column's title and every listed cell, at most `cap`.
    double fitWidth(TableColumn column, std::optional<double> cap = std::nullopt) const;
    /// A drag of the column's edge, kept within the column's limits.
    bool setColumnWidth(TableColumn column, double width);
    /// A double click on the column's edge.
    bool fitColumn(TableColumn column);
    /// Width of `text` in the look's font, rounded up to a whole pixel.
    double textWidth(std::string_view text, int size, bool bold = false) const;
    /// Width of a cell's text in `look` (0 where the window draws a symbol).
    static double cellWidth(const TableRow& row, TableColumn column, UITheme look,
                            TextMeasure& measure);

private:
    std::vector<const IndexedRow*> listedRows() const;
    bool inSelectedFolder(const TableRow& row) const;
    double contentWidth(TableColumn column) const;
    bool storeWidth(TableColumn column, double width);
    bool storeLayout(const ColumnLayout& layout);

    std::shared_ptr<const LibraryContents> m_contents;
    std::shared_ptr<const TableIndex> m_index = std::make_shared<const TableIndex>();
    std::optional<std::string> m_selectedFolder;
    UITheme m_look = UITheme::eightBit;
    KindFilter m_kindFilter = KindFilter::all;
    SortKey m_sortKey = SortKey::type;
    bool m_sortAscending = true;
    ColumnLayout m_cols;
    std::set<TableColumn> m_userCols;
    double m_tableWidth = 0;
    mutable TextMeasure m_measure;
};

} // namespace vorn
