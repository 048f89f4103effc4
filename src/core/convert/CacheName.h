#pragma once
// Names of converted files in the caches: a source's real path, its modification second
// and the conversion settings, hashed. Editing or moving a source, or changing its
// settings, selects a new cache file; old ones are never deleted.

#include <filesystem>
#include <string>
#include <string_view>

namespace vorn::CacheName {

/// realpath of the source (its path unchanged when that fails), "|", and its modification
/// time in whole seconds since 1970 (0 when unreadable), then `extra` when not empty.
std::string key(const std::filesystem::path& source, std::string_view extra = {});
/// The first 32 hex digits of the SHA-256 of the key text, followed by `extension`.
std::string fileName(std::string_view keyText, std::string_view extension);
/// A double as the shortest text that reads back to it, with ".0" for whole numbers;
/// in exponent form ("1e-05", "1e+16") below 0.0001 and above 2^53.
std::string number(double value);

} // namespace vorn::CacheName
