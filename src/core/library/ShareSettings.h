#pragma once
// The share settings both front ends keep in the preferences, with their defaults.

#include "library/HubConfig.h"
#include "platform/Numbers.h"
#include "platform/Preferences.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

struct ShareSettings {
    /// Library folder; empty when none was chosen.
    std::string folder;
    std::uint16_t port = defaultPort;
    bool writable = true;
    bool advertise = true;
    /// Conversions of each kind (audio, pictures) that run at once.
    unsigned conversionJobs = defaultConversionJobs();

    static constexpr std::uint16_t defaultPort = 8271;
    /// Unprivileged ports only: the share never needs root, and a stored port below 1024
    /// would stop it starting for everyone else.
    static constexpr WholeRange portRange{1024, 65535};
    static constexpr std::int64_t maxConversionJobs = 64;
    /// One conversion per core (at least one).
    static unsigned defaultConversionJobs();

    /// The stored settings; a port outside portRange reads as the default, a number of
    /// conversion jobs outside 1...maxConversionJobs as the default.
    static ShareSettings load(const Preferences& preferences);
    /// The form a library folder is stored and keyed in: absolute, normalised, without a
    /// trailing "/" (the categories are stored under this exact text).
    static std::string libraryPath(const std::string& folder);
    /// Preference key of a library folder's categories.
    static std::string hubKey(const std::string& folder);
    /// The categories stored for a library folder; absent when none or unreadable.
    static std::optional<HubConfig> hub(const Preferences& preferences, const std::string& folder);
};

} // namespace vorn
