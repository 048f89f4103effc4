#pragma once
// `vorn-share serve`: shares a library until SIGINT or SIGTERM, printing the log.

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

class Preferences;

struct ServeOptions {
    std::optional<std::string> folder;
    std::optional<std::uint16_t> port;
    bool readOnly = false;
    bool noAdvertise = false;
    std::optional<std::string> name;
    /// Seconds of quiet that end a write session; the stored setting when absent.
    std::optional<std::int64_t> versionGap;
};

/// Runs the share; returns the exit status (0 after a clean stop, 1 when the port cannot
/// be listened on, 2 for a missing folder).
int serve(const ServeOptions& options, Preferences& preferences);

} // namespace vorn
