#pragma once
// How the share keeps versions of the images the card writes, as stored in the
// preferences ("versionGap", "versionsKept", "versionsMaxBytes"), with their defaults.

#include "platform/Preferences.h"

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace vorn {

struct VersionSettings {
    /// The folder of every version (see VersionStore); empty: none are kept.
    std::filesystem::path store;
    /// A quiet spell longer than this ends an image's write session.
    std::chrono::milliseconds gap = std::chrono::minutes(10);
    /// Versions kept per image; 0 keeps none.
    std::int64_t kept = 5;
    /// The most all versions together may take on disk.
    std::uint64_t maxBytes = 2'000'000'000;

    static constexpr std::int64_t maxGapSeconds = 7 * 24 * 3600;
    static constexpr std::int64_t maxKept = 1000;

    bool operator==(const VersionSettings&) const = default;
    bool on() const { return !store.empty() && kept > 0; }
    /// The stored settings, kept in the default store; values out of range read as the
    /// defaults.
    static VersionSettings load(const Preferences& preferences);
};

} // namespace vorn
