#pragma once
// The width that fits the sidebar's rows (a double click on the split handle): the kind
// rows, the library's root row and every listed folder, measured in the look's fonts with
// the same margins the sidebar draws.

#include "TableKeys.h"

#include <string>
#include <string_view>

namespace vorn {

class ShareModel;

namespace SidebarFit {

/// Pixels per level of folder depth.
inline constexpr double indent = 12;
/// The kind rows' labels, in KindFilter order.
inline constexpr std::string_view kindLabels[] = {"All", "Disk Images", "Audio", "Pictures"};

/// The root row's name: the library folder's last component, or "Library" without one.
std::string rootName(const ShareModel& model);
/// The widest row plus 4, before the window keeps it within the handle's limits.
double width(const ShareModel& model);

} // namespace SidebarFit
} // namespace vorn
