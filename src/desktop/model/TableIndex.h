#pragma once
// Every row a LibraryContents can show, with its collation ranks worked out once per
// scan: sorting then compares integers instead of asking the collator for every pair.

#include "LibraryContents.h"
#include "TableRow.h"

#include <cstdint>
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
};

class TableIndex {
public:
    TableIndex() = default;
    /// Refers into `contents`, which must outlive the index.
    explicit TableIndex(const LibraryContents& contents);

    /// Images, tracks, pending audio, pictures, pending pictures, each in contents order.
    const std::vector<IndexedRow>& rows() const { return m_rows; }

private:
    std::vector<IndexedRow> m_rows;
};

} // namespace vorn
