#include "library/ShareSettings.h"

#include <algorithm>
#include <filesystem>
#include <thread>

namespace vorn {

ShareSettings ShareSettings::load(const Preferences& preferences) {
    ShareSettings settings;
    settings.folder = preferences.string("folder").value_or("");
    settings.writable = preferences.boolean("writable").value_or(true);
    settings.advertise = preferences.boolean("advertise").value_or(true);
    const std::int64_t port = preferences.integer("port").value_or(defaultPort);
    settings.port = portRange.contains(port) ? std::uint16_t(port) : defaultPort;
    const std::int64_t jobs = preferences.integer("conversionJobs").value_or(0);
    if (jobs >= 1 && jobs <= maxConversionJobs) {
        settings.conversionJobs = unsigned(jobs);
    }
    return settings;
}

unsigned ShareSettings::defaultConversionJobs() {
    return std::max(1u, std::thread::hardware_concurrency());
}

std::string ShareSettings::libraryPath(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(folder, ec).lexically_normal();
    if (!path.has_filename() && path != path.root_path()) {
        path = path.parent_path(); // "/srv/apple/" and "/srv/apple" are one library
    }
    return path.string();
}

std::string ShareSettings::hubKey(const std::string& folder) {
    return "vxm.hub." + folder;
}

std::optional<HubConfig> ShareSettings::hub(const Preferences& preferences,
                                            const std::string& folder) {
    const std::optional<std::string> stored = preferences.string(hubKey(folder));
    return stored ? HubConfig::decode(*stored) : std::nullopt;
}

} // namespace vorn
