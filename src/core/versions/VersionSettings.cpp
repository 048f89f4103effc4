#include "versions/VersionSettings.h"

#include "versions/VersionStore.h"

namespace vorn {

VersionSettings VersionSettings::load(const Preferences& preferences) {
    VersionSettings settings;
    settings.store = VersionStore::defaultRoot();
    const std::int64_t gap = preferences.integer("versionGap").value_or(0);
    if (gap >= 1 && gap <= maxGapSeconds) {
        settings.gap = std::chrono::seconds(gap);
    }
    const std::int64_t kept = preferences.integer("versionsKept").value_or(-1);
    if (kept >= 0 && kept <= maxKept) {
        settings.kept = kept;
    }
    const std::int64_t maxBytes = preferences.integer("versionsMaxBytes").value_or(-1);
    if (maxBytes >= 0) {
        settings.maxBytes = std::uint64_t(maxBytes);
    }
    return settings;
}

} // namespace vorn
