#include "TableIndex.h"

#include "LibraryTable.h"
#include "platform/Text.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace vorn {
namespace {

std::vector<IndexedRow> baseRows(const LibraryContents& c) {
    std::vector<IndexedRow> rows;
    rows.reserve(std::size_t(c.libraryCount()) + c.pendingAudio().size() + c.pendingPics().size() +
                 c.audio().failed.size() + c.stills().failed.size());
    for (const DiskImage& image : c.images()) {
        rows.push_back({TableRow::of(image)});
    }
    for (const AudioTrack& track : c.tracks()) {
        rows.push_back({TableRow::of(track)});
    }
    for (const std::string& name : c.pendingAudio()) {
        rows.push_back({TableRow::pendingAudio(name)});
    }
    for (const StillPic& picture : c.pictures()) {
        rows.push_back({TableRow::of(picture)});
    }
    for (const std::string& name : c.pendingPics()) {
        rows.push_back({TableRow::pendingPicture(name)});
    }
    for (const std::string& name : c.audio().failed) {
        rows.push_back({TableRow::failedAudio(name)});
    }
    for (const std::string& name : c.stills().failed) {
        rows.push_back({TableRow::failedPicture(name)});
    }
    return rows;
}

// Dense ranks of the texts in collation order: texts the collator finds equal share a
// rank. Each distinct text costs one collation key.
std::vector<std::uint32_t> collationRanks(const std::vector<std::string>& texts) {
    std::unordered_map<std::string_view, std::string> keyOf;
    std::vector<const std::string*> keys(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto [it, added] = keyOf.try_emplace(texts[i]);
        if (added) {
            it->second = Text::sortKey(texts[i]);
        }
        keys[i] = &it->second;
    }
    std::vector<std::size_t> order(texts.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return *keys[a] < *keys[b]; });
    std::vector<std::uint32_t> ranks(texts.size());
    std::uint32_t rank = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && *keys[order[k]] != *keys[order[k - 1]]) {
            ++rank;
        }
        ranks[order[k]] = rank;
    }
    return ranks;
}

template <class Text>
std::vector<std::string> textsOf(const std::vector<IndexedRow>& rows, Text text) {
    std::vector<std::string> texts;
    texts.reserve(rows.size());
    for (const IndexedRow& r : rows) {
        texts.push_back(text(r.row));
    }
    return texts;
}

// Two pending files may share a display name: the later gets a suffix, so every row has
// an identity of its own.
void assignIds(std::vector<IndexedRow>& rows) {
    std::unordered_set<std::string> used;
    used.reserve(rows.size());
    for (IndexedRow& r : rows) {
        std::string id = r.row.id();
        for (int n = 2; used.count(id) > 0; ++n) {
            id = r.row.id() + "\x1f" + std::to_string(n);
        }
        r.id = *used.insert(std::move(id)).first;
    }
}

} // namespace

TableIndex::TableIndex(const LibraryContents& contents, UITheme look, TextMeasure& measure)
    : TableIndex(contents) {
    for (IndexedRow& r : m_rows) {
        for (TableColumn column : allColumns) {
            r.widths[std::size_t(column)] =
                float(LibraryTable::cellWidth(r.row, column, look, measure));
        }
    }
    m_measuredLook = look;
}

TableIndex::TableIndex(const LibraryContents& contents) : m_rows(baseRows(contents)) {
    const auto names = textsOf(m_rows, [](const TableRow& r) { return r.name(); });
    const auto folders = textsOf(m_rows, [](const TableRow& r) { return r.folder(); });
    const auto volumes = textsOf(m_rows, [](const TableRow& r) { return r.volumeKey(); });
    const auto nameRanks = collationRanks(names);
    const auto folderRanks = collationRanks(folders);
    const auto volumeRanks = collationRanks(volumes);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        IndexedRow& r = m_rows[i];
        r.nameRank = nameRanks[i];
        // The root leads and empty volume keys trail whatever the collator thinks of
        // empty text, so the ranks are moved past the special places.
        r.folderRank = folders[i].empty() ? 0 : folderRanks[i] + 1;
        r.volumeRank =
            volumes[i].empty() ? std::numeric_limits<std::uint32_t>::max() : volumeRanks[i];
    }
    assignIds(m_rows);
}

} // namespace vorn
