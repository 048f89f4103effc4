#pragma once
// The edits the categories sheet and the sidebar make to a category configuration, as
// plain functions from the old configuration to the new one.

#include "library/HubConfig.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vorn::CategoryEdits {

/// Removes the category with exactly this path, or appends it unlabelled at the end.
HubConfig toggleCategory(HubConfig hub, const std::string& path);
/// Moves the categories at `offsets` before the category at `destination` (an offset in
/// the list before the move), keeping their order; offsets past the end are ignored.
HubConfig moveCategories(HubConfig hub, const std::set<std::size_t>& offsets,
                         std::size_t destination);
/// Labels the first category with this path; absent when there is none. A blank label,
/// or one that only repeats the folder's name, clears the label.
std::optional<HubConfig> setCategoryLabel(HubConfig hub, const std::string& path,
                                          const std::string& label);
HubConfig setPrefixSubfolder(HubConfig hub, bool on);
/// The folders, in order, that are not categories yet ("Add Folder..." offers them).
std::vector<std::string> hubCandidates(const HubConfig& hub,
                                       const std::vector<std::string>& folders);

} // namespace vorn::CategoryEdits
