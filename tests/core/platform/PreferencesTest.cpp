#include "platform/Preferences.h"

#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace vorn {
namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PreferencesTest, ReadsAreTyped) {
    test::TempDir dir;
    const auto file = dir.write("prefs.json", R"({"folder": "/srv/apple", "writable": false,
        "port": 8300, "whole": 8271.0, "half": 1.5, "big": 1e30, "cats": {"a": 1}, "list": [1]})");
    const Preferences prefs(file);
    EXPECT_EQ(prefs.string("folder"), "/srv/apple");
    EXPECT_EQ(prefs.boolean("writable"), false);
    EXPECT_EQ(prefs.integer("port"), 8300);
    EXPECT_EQ(prefs.integer("whole"), 8271);
    EXPECT_EQ(prefs.number("half"), 1.5);
    EXPECT_EQ(prefs.object("cats"), R"({"a":1})");
    // A value of another type reads as absent, as does a missing one.
    EXPECT_EQ(prefs.string("port"), std::nullopt);
    EXPECT_EQ(prefs.boolean("folder"), std::nullopt);
    EXPECT_EQ(prefs.integer("writable"), std::nullopt);
    EXPECT_EQ(prefs.integer("half"), std::nullopt);
    EXPECT_EQ(prefs.integer("big"), std::nullopt) << "too large for 64 bits";
    EXPECT_EQ(prefs.number("folder"), std::nullopt);
    EXPECT_EQ(prefs.object("list"), std::nullopt);
    EXPECT_EQ(prefs.string("absent"), std::nullopt);
}

TEST(PreferencesTest, EveryWriteSurvivesAReopen) {
    test::TempDir dir;
    const auto file = dir / "VornImageManager/preferences.json";
    {
        Preferences prefs(file);
        EXPECT_TRUE(prefs.set("folder", "/srv/apple"));
        EXPECT_TRUE(prefs.set("port", std::int64_t(9000)));
        EXPECT_TRUE(prefs.set("writable", false));
        EXPECT_TRUE(prefs.setObject("pic.knobs./a.png", R"({"dither": true})"));
        EXPECT_FALSE(prefs.setObject("bad", "[1, 2]")) << "only objects are stored as objects";
        EXPECT_FALSE(prefs.set("name", std::string_view("\xff\xfe"))) << "not UTF-8";
        EXPECT_TRUE(prefs.set("gone", true));
        EXPECT_TRUE(prefs.remove("gone"));
    }
    const Preferences again(file);
    EXPECT_EQ(again.string("folder"), "/srv/apple");
    EXPECT_EQ(again.integer("port"), 9000);
    EXPECT_EQ(again.boolean("writable"), false);
    EXPECT_EQ(again.object("pic.knobs./a.png"), R"({"dither":true})");
    EXPECT_EQ(again.object("bad"), std::nullopt);
    EXPECT_EQ(again.string("name"), std::nullopt);
    EXPECT_EQ(again.boolean("gone"), std::nullopt);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(file.parent_path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << "no temporary file is left behind";
}

TEST(PreferencesTest, UnreadableFileIsMovedAside) {
    for (const std::string text : {"{ not json", "[1, 2, 3]", ""}) {
        test::TempDir dir;
        const auto file = dir.write("preferences.json", text);
        Preferences prefs(file);
        EXPECT_EQ(prefs.string("folder"), std::nullopt) << text;
        EXPECT_EQ(slurp(dir / "preferences.json.bad"), text) << "the old text is kept aside";
        EXPECT_FALSE(std::filesystem::exists(file)) << text;
        EXPECT_TRUE(prefs.set("folder", "/x"));
        EXPECT_EQ(Preferences(file).string("folder"), "/x") << text;
    }
}

} // namespace
} // namespace vorn
