#pragma once
// The table's sort keys and kind filters, with the string values the window uses.

#include <string_view>

namespace vorn {

/// What the table is sorted by.
enum class SortKey { type, boot, name, folder, volume, created, modified, size, blocks };

/// Which kinds of rows the table lists.
enum class KindFilter { all, disks, audio, pictures };

constexpr std::string_view keyName(SortKey key) {
    constexpr std::string_view names[] = {"type",    "boot",     "name", "folder", "volume",
                                          "created", "modified", "size", "blocks"};
    return names[int(key)];
}

constexpr std::string_view filterName(KindFilter filter) {
    constexpr std::string_view names[] = {"all", "disks", "audio", "pictures"};
    return names[int(filter)];
}

} // namespace vorn
