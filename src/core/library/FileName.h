#pragma once
// Pieces of file names and relative paths, shared by the walk and every catalog.

#include <string>
#include <string_view>

namespace vorn::FileName {

/// The text after the last "." of a name ("PO" for "GAME.PO"); empty when there is
/// none or the only dot starts the name.
std::string_view extension(std::string_view name);
/// The extension in ASCII lower case, for matching against extension sets.
std::string lowerExtension(std::string_view name);
/// The name without its last extension ("Lunar_Base.1.5" for "Lunar_Base.1.5.po").
std::string_view stem(std::string_view name);
/// An item's identity: the file name alone in the library root, else folder + "/" + name.
std::string relPath(std::string_view folder, std::string_view name);
/// The last "/"-separated component of a relative folder path.
std::string_view lastComponent(std::string_view folder);

} // namespace vorn::FileName
