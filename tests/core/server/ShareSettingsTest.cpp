#include "server/ShareSettings.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(ShareSettingsTest, DefaultsAndPortRange) {
    test::TempDir dir;
    Preferences prefs(dir / "preferences.json");
    ShareSettings settings = ShareSettings::load(prefs);
    EXPECT_EQ(settings.folder, "");
    EXPECT_EQ(settings.port, 8271);
    EXPECT_TRUE(settings.writable);
    EXPECT_TRUE(settings.advertise);

    const std::vector<std::pair<std::int64_t, std::uint16_t>> ports{
        {1024, 1024}, {65535, 65535}, {8300, 8300},  {1023, 8271},
        {0, 8271},    {-1, 8271},     {65536, 8271}, {4294967296 + 8300, 8271}};
    for (const auto& [stored, expected] : ports) {
        prefs.set("port", stored);
        EXPECT_EQ(ShareSettings::load(prefs).port, expected) << "stored port " << stored;
    }
    prefs.set("port", "9000");
    EXPECT_EQ(ShareSettings::load(prefs).port, 8271) << "a port stored as text is no port";

    prefs.set("folder", "/srv/apple");
    prefs.set("writable", false);
    prefs.set("advertise", false);
    settings = ShareSettings::load(prefs);
    EXPECT_EQ(settings.folder, "/srv/apple");
    EXPECT_FALSE(settings.writable);
    EXPECT_FALSE(settings.advertise);

    EXPECT_EQ(ShareSettings::hub(prefs, "/srv/apple"), std::nullopt);
    const HubConfig hub{{{"Games", "Play"}}, true};
    prefs.set(ShareSettings::hubKey("/srv/apple"), *hub.encoded());
    EXPECT_EQ(ShareSettings::hub(prefs, "/srv/apple"), hub);
    EXPECT_EQ(ShareSettings::hub(prefs, "/srv/other"), std::nullopt);
    prefs.set(ShareSettings::hubKey("/srv/apple"), "{ broken");
    EXPECT_EQ(ShareSettings::hub(prefs, "/srv/apple"), std::nullopt);
}

} // namespace
} // namespace vorn
