// `vorn-share config` as a user runs it, with preferences of the test's own.

#include "platform/Preferences.h"
#include "support/RunVornShare.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::describe;
using test::Outcome;
using test::vornShare;

class ConfigCommandTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
    fs::path prefsFile() const { return m_dir / "config/VornImageManager/preferences.json"; }

    test::TempDir m_dir;
};

TEST_F(ConfigCommandTest, ShowsDefaultsThenStoredValues) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(vornShare({"config"}).out, "folder            none (default)\n"
                                         "port              8271 (default)\n"
                                         "writable          true (default)\n"
                                         "advertise         true (default)\n"
                                         "conversionJobs    " +
                                             std::to_string(cores) +
                                             " (default)\n"
                                             "versionGap        600 (default)\n"
                                             "versionsKept      5 (default)\n"
                                             "versionsMaxBytes  2000000000 (default)\n");
    const std::string library = m_dir.mkdir("Apple II").string();
    const Outcome folder = vornShare({"config", "set", "folder", library + "/"});
    EXPECT_EQ(folder.status, 0) << folder.err;
    EXPECT_EQ(folder.out,
              "folder set to " + library + "; a running share uses it from its next start\n");
    EXPECT_EQ(vornShare({"config", "set", "writable", "false"}).out,
              "writable set to false; a running share picks it up at once\n");
    EXPECT_EQ(vornShare({"config", "set", "port", "9000"}).status, 0);
    EXPECT_EQ(vornShare({"config", "set", "conversionJobs", "3"}).out,
              "conversionJobs set to 3; a running share uses it from its next start\n");
    EXPECT_EQ(vornShare({"config", "set", "versionsKept", "0"}).out,
              "versionsKept set to 0; a running share picks it up at once\n");
    EXPECT_EQ(vornShare({"config"}).out, "folder            " + library +
                                             "\n"
                                             "port              9000\n"
                                             "writable          false\n"
                                             "advertise         true (default)\n"
                                             "conversionJobs    3\n"
                                             "versionGap        600 (default)\n"
                                             "versionsKept      0\n"
                                             "versionsMaxBytes  2000000000 (default)\n");
    EXPECT_EQ(vornShare({"config", "unset", "port"}).status, 0);
    EXPECT_EQ(Preferences(prefsFile()).integer("port"), std::nullopt) << "unset removes the key";
}

constexpr const char* kUnknownColour =
    "vorn-share: unknown setting: colour (settings: folder, port, writable, advertise, "
    "conversionJobs, versionGap, versionsKept, versionsMaxBytes)\n";

TEST_F(ConfigCommandTest, BadValuesAreRefusedWithOneLineAndNothingWritten) {
    ASSERT_EQ(vornShare({"config", "set", "port", "9000"}).status, 0);
    const std::string file = (m_dir / "plain.txt").string();
    m_dir.write("plain.txt", "x");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"config", "set", "port", "80"},
         "vorn-share: port must be a whole number from 1024 to 65535, not 80\n"},
        {{"config", "set", "port", "65536"},
         "vorn-share: port must be a whole number from 1024 to 65535, not 65536\n"},
        {{"config", "set", "port", "9000x"},
         "vorn-share: port must be a whole number from 1024 to 65535, not 9000x\n"},
        {{"config", "set", "writable", "yes"},
         "vorn-share: writable must be true or false, not yes\n"},
        {{"config", "set", "conversionJobs", "0"},
         "vorn-share: conversionJobs must be a whole number from 1 to 64, not 0\n"},
        {{"config", "set", "versionGap", "0"},
         "vorn-share: versionGap must be a whole number from 1 to 604800, not 0\n"},
        {{"config", "set", "versionsKept", "5x"},
         "vorn-share: versionsKept must be a whole number from 0 to 1000, not 5x\n"},
        {{"config", "set", "folder", "/no/such/folder"},
         "vorn-share: no such folder: /no/such/folder\n"},
        {{"config", "set", "folder", file}, "vorn-share: not a folder: " + file + "\n"},
        {{"config", "set", "folder", m_dir.mkdir("caf\xe9").string()},
         "vorn-share: the folder's path is not UTF-8 text, so it cannot be stored\n"},
        {{"config", "set", "colour", "red"}, kUnknownColour},
        {{"config", "unset", "colour"}, kUnknownColour},
    };
    const auto before = fs::last_write_time(prefsFile());
    for (const auto& [args, line] : cases) {
        const Outcome run = vornShare(args);
        EXPECT_EQ(run.status, 2) << describe(args);
        EXPECT_EQ(run.err, line) << describe(args);
        EXPECT_EQ(run.out, "") << describe(args);
    }
    EXPECT_EQ(fs::last_write_time(prefsFile()), before) << "a refused change wrote the file";
    EXPECT_EQ(Preferences(prefsFile()).integer("port"), 9000);
}

// A named pipe where the file belongs is said to be what it is, never waited on (status
// 124 is timeout's) and never replaced.
TEST_F(ConfigCommandTest, APipeInPlaceOfTheFileIsNeitherWaitedOnNorReplaced) {
    fs::create_directories(prefsFile().parent_path());
    ASSERT_EQ(mkfifo(prefsFile().c_str(), 0600), 0);
    const Outcome show = test::shell("timeout 10 " + describe({"config"}));
    EXPECT_EQ(show.status, 0);
    EXPECT_EQ(show.err, "vorn-share: " + prefsFile().string() + " is not a regular file\n");
    const Outcome set = test::shell("timeout 10 " + describe({"config", "set", "port", "9000"}));
    EXPECT_EQ(set.status, 1) << set.err;
    EXPECT_TRUE(fs::is_fifo(prefsFile()));
}

} // namespace
} // namespace vorn
