#pragma once
// The library table's columns in display order, with their titles and sort keys.

#include "TableKeys.h"

#include <array>
#include <string_view>

namespace vorn {

enum class TableColumn { type, name, folder, volume, created, modified, size, blocks, boot };

/// Every column, in display order.
inline constexpr std::array<TableColumn, 9> allColumns{
    TableColumn::type,   TableColumn::name,    TableColumn::folder,
    TableColumn::volume, TableColumn::created, TableColumn::modified,
    TableColumn::size,   TableColumn::blocks,  TableColumn::boot};

/// The column's string value ("type", "name", ...).
std::string_view columnName(TableColumn column);
/// The header title as written ("Volume/Length"); the 8-bit look shows it upper-cased.
std::string_view columnTitle(TableColumn column);
/// The key a click on the column's header sorts by.
SortKey columnSortKey(TableColumn column);

} // namespace vorn
