#pragma once

#include "platform/Date.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

/// One picture the card can show: a library ".shr" file, or a converted picture in the cache.
struct StillPic {
    /// Settings handed to the picture converter.
    struct Knobs {
        double sat = 1.45;
        double con = 1.1;
        bool dither = false;
        bool operator==(const Knobs&) const = default;
    };

    /// Served name and identity: relPath with the extension "shr".
    std::string fileName;
    std::string folder;
    std::string displayName;
    /// Last path component of the library file.
    std::string sourceName;
    /// The library ".shr" file's size, or 32712 for a converted picture.
    std::uint64_t bytes = 0;
    /// The served file: the library ".shr" file or the cache file.
    std::filesystem::path shrPath;
    /// `shrPath` + "_preview.png": what the card shows, as an ordinary picture.
    std::filesystem::path previewPath;
    std::filesystem::path sourcePath;
    Date created = kDistantPast;
    Date modified = kDistantPast;

    /// Size of a converted SHR screen: pixels, line controls and palettes.
    static constexpr std::uint64_t shrBytes = 32712;
    /// Extensions (lower case) converted by the picture converter.
    static constexpr std::array<std::string_view, 8> transcodeExtensions{
        "jpg", "jpeg", "png", "gif", "webp", "bmp", "tif", "tiff"};

    const std::string& id() const { return fileName; }
    /// The picture the SHR screen came from, for showing it beside the screen.
    std::optional<std::filesystem::path> originalPath() const;
    /// Whether a file name has one of `transcodeExtensions`.
    static bool convertible(std::string_view fileName);

    bool operator==(const StillPic&) const = default;
};

} // namespace vorn
