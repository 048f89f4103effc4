#include "platform/Preferences.h"

#include "library/ShareSettings.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace vorn {
namespace {

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
    EXPECT_EQ(prefs.integer("half"), std::nullopt);
    EXPECT_EQ(prefs.integer("big"), std::nullopt) << "too large for 64 bits";
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
        EXPECT_TRUE(prefs.set("advertise", false));
        EXPECT_TRUE(prefs.setObject("pic.knobs./a.png", R"({"dither": true})"));
        EXPECT_FALSE(prefs.setObject("bad", "[1, 2]")) << "only objects are stored as objects";
        EXPECT_FALSE(prefs.set("name", std::string_view("\xff\xfe"))) << "not UTF-8";
        EXPECT_TRUE(prefs.set("gone", true));
        EXPECT_TRUE(prefs.remove("gone"));
    }
    const Preferences again(file);
    EXPECT_EQ(again.string("folder"), "/srv/apple");
    EXPECT_EQ(again.integer("port"), 9000);
    EXPECT_EQ(again.boolean("advertise"), false);
    EXPECT_EQ(again.object("pic.knobs./a.png"), R"({"dither":true})");
    EXPECT_EQ(again.object("bad"), std::nullopt);
    EXPECT_EQ(again.string("name"), std::nullopt);
    EXPECT_EQ(again.boolean("gone"), std::nullopt);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1)
        << "no temporary file is left behind";
}

TEST(PreferencesTest, WritersInSeveralProcessesKeepEachOthersChanges) {
    test::TempDir dir;
    const auto file = dir / "preferences.json";
    Preferences mine(file);
    ASSERT_TRUE(mine.set("folder", "/srv/apple"));
    // Two other programs each write their own keys while this one holds the file open.
    std::vector<pid_t> writers;
    for (const char* name : {"a", "b"}) {
        const pid_t pid = fork();
        if (pid == 0) {
            Preferences theirs(file);
            for (int i = 0; i < 40; ++i) {
                if (!theirs.set(std::string(name) + std::to_string(i), std::int64_t(i))) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        waitpid(pid, nullptr, 0);
    }
    EXPECT_FALSE(mine.boolean("writable")) << "not written yet";
    EXPECT_TRUE(mine.reload()) << "the other programs' changes are seen";
    ASSERT_TRUE(mine.set("writable", false));
    const Preferences after(file);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(after.integer("a" + std::to_string(i)), i) << "a change of writer a was lost";
        EXPECT_EQ(after.integer("b" + std::to_string(i)), i) << "a change of writer b was lost";
    }
    EXPECT_EQ(after.string("folder"), "/srv/apple");
    EXPECT_EQ(after.boolean("writable"), false);
    EXPECT_FALSE(mine.reload()) << "nothing changed since our own write";
}

TEST(PreferencesTest, UnreadableFileIsMovedAside) {
    for (const std::string text : {"{ not json", "[1, 2, 3]", ""}) {
        test::TempDir dir;
        const auto file = dir.write("preferences.json", text);
        Preferences prefs(file);
        EXPECT_EQ(prefs.string("folder"), std::nullopt) << text;
        std::ifstream aside(dir / "preferences.json.bad", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), text)
            << "the old text is kept aside";
        EXPECT_FALSE(std::filesystem::exists(file)) << text;
        EXPECT_TRUE(prefs.set("folder", "/x"));
        EXPECT_EQ(Preferences(file).string("folder"), "/x") << text;
    }
}

// Each library's stored categories are LibraryHubTest's, read through the same ShareSettings.
TEST(PreferencesTest, ShareSettingsDefaultsAndPortRange) {
    test::TempDir dir;
    Preferences prefs(dir / "preferences.json");
    const std::vector<std::pair<std::int64_t, std::uint16_t>> ports{
        {1024, 1024}, {65535, 65535}, {1023, 8271},
        {0, 8271},    {65536, 8271},  {4294967296 + 8300, 8271}};
    for (const auto& [stored, expected] : ports) {
        EXPECT_TRUE(prefs.set("port", stored));
        EXPECT_EQ(ShareSettings::load(prefs).port, expected) << "stored port " << stored;
    }
    EXPECT_TRUE(prefs.set("port", "9000"));
    EXPECT_EQ(ShareSettings::load(prefs).port, 8271) << "a port stored as text is no port";
}

// A settings file gone for a while (an editor saving, a folder being restored) keeps the
// settings known; the commands' tests put a named pipe in its place.
TEST(PreferencesTest, AFileGoneForAWhileKeepsTheLastSettings) {
    test::TempDir dir;
    const auto file = dir / "preferences.json";
    Preferences prefs(file);
    ASSERT_TRUE(prefs.set("writable", false));

    std::filesystem::remove(file);
    EXPECT_FALSE(prefs.reload());
    EXPECT_EQ(prefs.boolean("writable"), false) << "a missing file reset the settings";
    EXPECT_NE(prefs.problem().value_or("").find("missing"), std::string::npos);

    dir.write("preferences.json", R"({"writable": true})");
    EXPECT_TRUE(prefs.reload());
    EXPECT_EQ(prefs.boolean("writable"), true);
    EXPECT_EQ(prefs.problem(), std::nullopt) << "a readable file again clears the problem";
}

TEST(PreferencesTest, ALinkStaysALinkAndADeepFileIsRefused) {
    test::TempDir dir;
    const auto target = dir.write("real/prefs.json", "{}");
    const auto link = dir / "preferences.json";
    std::filesystem::create_symlink("real/prefs.json", link);
    Preferences linked(link);
    ASSERT_TRUE(linked.set("port", std::int64_t(9000)));
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link was replaced by a plain file";
    EXPECT_EQ(Preferences(target).integer("port"), 9000) << "the link's target was not written";

    // Written back indented, 2000 levels took megabytes; thousands more took gigabytes.
    const auto deep =
        dir.write("deep.json", R"({"a":)" + std::string(2000, '[') + std::string(2000, ']') + "}");
    Preferences prefs(deep);
    EXPECT_NE(prefs.problem().value_or("").find("nested more than"), std::string::npos);
    ASSERT_TRUE(prefs.set("port", std::int64_t(9000)));
    EXPECT_LT(std::filesystem::file_size(deep), 100u);
    EXPECT_TRUE(std::filesystem::exists(dir / "deep.json.bad")) << "the old text is kept aside";
}

} // namespace
} // namespace vorn
