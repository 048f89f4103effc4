#pragma once
// The widths of the table's columns, in logical pixels.

#include "TableColumn.h"

#include <map>

namespace vorn {

struct ColumnLayout {
    /// Widths set so far; a column without one uses its stock width.
    std::map<TableColumn, double> widths;

    /// The layout a new window starts with.
    static const ColumnLayout& stock();
    /// The column's width: its own, else the stock width, else 60.
    double width(TableColumn column) const;

    bool operator==(const ColumnLayout&) const = default;
};

} // namespace vorn
