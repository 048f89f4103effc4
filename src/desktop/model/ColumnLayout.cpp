#include "ColumnLayout.h"

namespace vorn {

const ColumnLayout& ColumnLayout::stock() {
    static const ColumnLayout layout{{{TableColumn::type, 44},
                                      {TableColumn::name, 160},
                                      {TableColumn::folder, 120},
                                      {TableColumn::volume, 150},
                                      {TableColumn::created, 72},
                                      {TableColumn::modified, 80},
                                      {TableColumn::size, 84},
                                      {TableColumn::blocks, 76},
                                      {TableColumn::boot, 30}}};
    return layout;
}

double ColumnLayout::width(TableColumn column) const {
    if (auto it = widths.find(column); it != widths.end()) {
        return it->second;
    }
    const auto& stockWidths = stock().widths;
    if (auto it = stockWidths.find(column); it != stockWidths.end()) {
        return it->second;
    }
    return 60;
}

} // namespace vorn
