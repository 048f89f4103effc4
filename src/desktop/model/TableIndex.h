#pragma once
// Every row a LibraryContents can show, with its collation ranks worked out once per
// scan: sorting then compares integers instead of asking the collator for every pair.
// Its ids and the widths of its cells are made here too, so that the GUI thread, which
// takes a new scan's index whole, builds no strings and measures no text for it.

#include "LibraryContents.h"
#include "TableColumn.h"
#include "TableRow.h"
#include "UITheme.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

struct IndexedRow {
    TableRow row;
    /// Position of the name in the people's order of all names (equal names, equal ranks).
    std::uint32_t nameRank = 0;
    /// 0 for the library root, then the people's order of the folders.
    std::uint32_t folderRank = 0;
    /// The people's order of the volume keys; an empty key ranks after all others.
    std::uint32_t volumeRank = 0;
    /// The row's identity across re-sorts and rescans, unique within the index.
    std::string id{};
    /// Per column (by its enum value), the width of the cell's text in the look the index
    /// was measured for; 0 where the window draws a symbol.
    std::array<float, allColumns.size()> widths{};
};

class TextMeasure;

class TableIndex {
public:
    TableIndex() = default;
    /// Refers into `contents`, which must outlive the index.
    explicit TableIndex(const LibraryContents& contents);
    /// The same, with every cell measured in `look` by `measure` (which any one thread
    /// may own: the scanner's worker keeps one).
    TableIndex(const LibraryContents& contents, UITheme look, TextMeasure& measure);

    /// Images, tracks, pending audio, pictures, pending pictures, each in contents order.
    const std::vector<IndexedRow>& rows() const { return m_rows; }
    /// The look the rows' widths were measured in; absent when they were not.
    std::optional<UITheme> measuredLook() const { return m_measuredLook; }

private:
    std::vector<IndexedRow> m_rows;
    std::optional<UITheme> m_measuredLook;
};

} // namespace vorn
