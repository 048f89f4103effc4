#pragma once
// How a file name reads in the card's lists and the window: the name of a disk image, a
// track or a picture without its extension, underscores and stray dots as spaces.

#include <string>
#include <string_view>

namespace vorn {

/// "Space_Quest.2.0.po" reads "Space Quest 2.0": the extension goes, "_" becomes a space,
/// a "." stays only between two digits, runs of spaces become one. A name that would end
/// up empty stays as it was.
std::string cleanName(std::string_view fileName);

} // namespace vorn
