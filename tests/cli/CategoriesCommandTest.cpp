// `vorn-share categories` as a user runs it, with preferences of the test's own; it edits
// through the same LibraryHub as the desktop program, whose storing LibraryHubTest checks.

#include "library/LibraryHub.h"
#include "platform/Preferences.h"
#include "support/ProDosBytes.h"
#include "support/RunVornShare.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::describe;
using test::Outcome;
using test::vornShare;

// Games (with Arcade below it) holds two images, Utils one; notes.txt is shared by nobody.
class CategoriesCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (m_dir / "cache").c_str(), 1);
        const std::string image = test::ProDosBytes(280).volume("DISK").bytes();
        m_dir.write("lib/Games/Pong.po", image);
        m_dir.write("lib/Games/Arcade/Zap.po", image);
        m_dir.write("lib/Utils/Copy.po", image);
        m_dir.write("lib/Notes/notes.txt", "not shared");
        ASSERT_EQ(vornShare({"config", "set", "folder", lib()}).status, 0);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_CACHE_HOME");
    }
    std::string lib() const { return (m_dir / "lib").string(); }
    fs::path prefsFile() const { return m_dir / "config/VornImageManager/preferences.json"; }
    std::string run(const std::vector<std::string>& args) {
        const Outcome outcome = vornShare(args);
        EXPECT_EQ(outcome.status, 0) << describe(args) << ": " << outcome.err;
        return outcome.out;
    }

    test::TempDir m_dir;
};

TEST_F(CategoriesCommandTest, ListsAndEditsWithTheDesktopsRules) {
    EXPECT_EQ(run({"categories"}), "Apple II categories of " + lib() +
                                       " (the defaults: every top-level folder, A to Z)\n"
                                       "   1  Games  2 items\n"
                                       "   2  Utils  1 item\n"
                                       "Subfolder prefix in names: off\n");
    run({"categories", "add", "Games/Arcade/"});
    run({"categories", "move", "Games/Arcade", "1"});
    const std::string labelled =
        run({"categories", "label", "Games/Arcade", " The Arcade Collection, Volume One "});
    EXPECT_EQ(labelled, "Apple II categories of " + lib() +
                            " (your own)\n"
                            "   1  Games/Arcade  1 item  shown as \"The Arcade Collection, "
                            "Volume \"\n"
                            "   2  Games         2 items\n"
                            "   3  Utils         1 item\n"
                            "Subfolder prefix in names: off\n"
                            "The card shows labels of up to 30 characters; the rest is cut\n");
    EXPECT_EQ(run({"categories", "label", "Games/Arcade", "Arcade"}).find("shown as"),
              std::string::npos)
        << "the folder's own name clears the label";
    EXPECT_NE(run({"categories", "prefix", "on"}).find("Subfolder prefix in names: on"),
              std::string::npos);
    EXPECT_NE(run({"categories", "remove", "Utils"})
                  .find("   2  Games         2 items\n"
                        "Subfolder"),
              std::string::npos);
    EXPECT_NE(run({"categories", "reset"}).find("(the defaults"), std::string::npos);
    EXPECT_EQ(Preferences(prefsFile()).string("vxm.hub." + lib()), std::nullopt)
        << "reset removes the library's stored categories";
}

TEST_F(CategoriesCommandTest, BadInputIsRefusedWithOneLineAndNothingWritten) {
    run({"categories", "add", "Games/Arcade"});
    const auto before = fs::last_write_time(prefsFile());
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"categories", "add", "Notes"},
         "not a folder of the library that holds disk images, audio or pictures: Notes"},
        {{"categories", "add", "../lib"},
         "not a folder of the library that holds disk images, audio or pictures: ../lib"},
        {{"categories", "add", "Games"}, "Games is a category already"},
        {{"categories", "label", "Utils/Old", "x"},
         "not a folder of the library that holds disk images, audio or pictures: Utils/Old"},
        {{"categories", "move", "Games", "4"}, "the position must be from 1 to 3"},
        {{"categories", "move", "Games", "0"}, "the position must be from 1 to 3"},
        {{"categories", "prefix", "maybe"}, "ON|OFF: maybe not in {on,off}"},
        {{"categories", "--library", (m_dir / "none").string()},
         "--library: no such folder: " + (m_dir / "none").string()},
        // The preferences are JSON: text that is not UTF-8 can never be stored there.
        {{"categories", "label", "Games", "\xe9t\xe9"},
         "the label is not UTF-8 text, so it cannot be stored"},
        {{"categories", "--library", m_dir.mkdir("lib\xe9").string(), "reset"},
         "the library's path is not UTF-8 text, so its categories cannot be stored"},
    };
    for (const auto& [args, line] : cases) {
        const Outcome outcome = vornShare(args);
        EXPECT_EQ(outcome.status, 2) << describe(args);
        EXPECT_EQ(outcome.err, "vorn-share: " + line + "\n") << describe(args);
    }
    EXPECT_EQ(fs::last_write_time(prefsFile()), before) << "a refused edit wrote the file";
    ASSERT_EQ(vornShare({"config", "unset", "folder"}).status, 0);
    EXPECT_EQ(vornShare({"categories"}).err,
              "vorn-share: no library folder: name one, or store one with: vorn-share config "
              "set folder FOLDER\n");
}

} // namespace
} // namespace vorn
