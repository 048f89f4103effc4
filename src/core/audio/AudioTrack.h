#pragma once

#include "platform/Date.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vorn {

/// One track the card can play: a library ".pcm" file, or converted audio in the cache.
struct AudioTrack {
    /// Served name and identity: relPath with the extension "pcm".
    std::string fileName;
    /// Relative folder path of the library file.
    std::string folder;
    std::string displayName;
    /// Last path component of the library file.
    std::string sourceName;
    std::filesystem::path sourcePath;
    /// Size of the served PCM data.
    std::uint64_t bytes = 0;
    /// The served file: the library ".pcm" file or the cache file.
    std::filesystem::path pcmPath;
    Date created = kDistantPast;
    Date modified = kDistantPast;

    /// Samples per second of all served audio (one byte per sample).
    static constexpr std::uint64_t rate = 21973;
    /// Extensions (lower case) converted with ffmpeg.
    static constexpr std::array<std::string_view, 7> transcodeExtensions{
        "mp3", "m4a", "wav", "aif", "aiff", "flac", "ogg"};

    const std::string& id() const { return fileName; }
    /// Whether a file name has one of `transcodeExtensions`.
    static bool convertible(std::string_view fileName);
    /// Duration rounded to the nearest second.
    std::uint64_t secs() const { return (bytes + rate / 2) / rate; }

    bool operator==(const AudioTrack&) const = default;
};

} // namespace vorn
