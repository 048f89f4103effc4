#pragma once
// The per-user folders of the freedesktop base directory rules.

#include <filesystem>

namespace vorn::XdgPaths {

/// $XDG_CONFIG_HOME, or ~/.config, followed by "VornImageManager".
std::filesystem::path configDir();
/// $XDG_CACHE_HOME, or ~/.cache, followed by "VornImageManager".
std::filesystem::path cacheDir();
/// $XDG_DATA_HOME, or ~/.local/share, followed by "VornImageManager".
std::filesystem::path dataDir();

} // namespace vorn::XdgPaths
