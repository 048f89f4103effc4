#include "TableColumn.h"

namespace vorn {

std::string_view columnName(TableColumn column) {
    constexpr std::string_view names[] = {"type",     "name", "folder", "volume", "created",
                                          "modified", "size", "blocks", "boot"};
    return names[int(column)];
}

std::string_view columnTitle(TableColumn column) {
    constexpr std::string_view titles[] = {
        "Type", "Name", "Folder", "Volume/Length", "Created", "Modified", "Size", "Blocks", "B"};
    return titles[int(column)];
}

SortKey columnSortKey(TableColumn column) {
    constexpr SortKey keys[] = {SortKey::type,   SortKey::name,    SortKey::folder,
                                SortKey::volume, SortKey::created, SortKey::modified,
                                SortKey::size,   SortKey::blocks,  SortKey::boot};
    return keys[int(column)];
}

} // namespace vorn
