// vorn-image-manager --snapshot run as a program, the way scripts use it: with no display
// at all, private preferences, and a library made here. Checks what it prints, its exit
// status, the picture's pixel size and what it leaves in the preferences.

#include "platform/Preferences.h"
#include "support/ProDosBytes.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <QImageReader>
#include <gtest/gtest.h>

namespace vorn {
namespace {

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.write("lib/Games/Zork.po", test::ProDosBytes(280).volume("ZORK").bytes());
        m_dir.write("other/Other.po", test::ProDosBytes(280).volume("OTHER").bytes());
        Preferences prefs(config());
        EXPECT_TRUE(prefs.set("folder", (m_dir / "lib").string()));
    }
    std::filesystem::path config() const {
        return m_dir / "config/VornImageManager/preferences.json";
    }

    // The program with no display server and no platform asked for: only snapshot mode's
    // own choice of the offscreen platform lets it draw.
    test::Outcome launch(const std::string& arguments) {
        return test::shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"
                           " XDG_CONFIG_HOME='" +
                           (m_dir / "config").string() + "' XDG_CACHE_HOME='" +
                           (m_dir / "cache").string() + "' " + VORN_IMAGE_MANAGER_PATH + " " +
                           arguments);
    }
    std::string out(const std::string& name = "out.png") const { return (m_dir / name).string(); }
    QSize pixels(const std::string& name = "out.png") const {
        return QImageReader(QString::fromStdString(out(name))).size();
    }
    std::optional<std::string> stored(const std::string& key) const {
        return Preferences(config()).string(key);
    }

    test::TempDir m_dir;
};

TEST_F(SnapshotTest, DrawsTheWindowWithoutADisplay) {
    const test::Outcome run = launch("--snapshot " + out() + " --theme gs");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "snapshot written: " + out() + "\n");
    EXPECT_EQ(pixels(), QSize(2480, 1600)) << "1240 by 800 points at scale 2";
    EXPECT_EQ(stored("theme"), "gs") << "the look is stored like a choice in the window";
    EXPECT_EQ(stored("folder"), (m_dir / "lib").string())
        << "\"--theme\" in the folder's place is not a folder";
}

TEST_F(SnapshotTest, SizesFolderAndSheet) {
    test::Outcome run = launch("--snapshot " + out("a.png") + " " + (m_dir / "other").string() +
                               " --size 700x500 --sheet nonsense --theme 8bit");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(pixels("a.png"), QSize(1400, 1000)) << "any --sheet but categories is the window";
    EXPECT_EQ(stored("folder"), (m_dir / "other").string()) << "the folder given is stored";
    EXPECT_EQ(stored("theme"), "8bit") << "the look given is stored, though it is the default";

    for (const char* size : {"1400x", "1400", "1400x900x3", "x", "wide"}) {
        run = launch("--snapshot " + out("b.png") + " --size " + size);
        EXPECT_EQ(run.status, 0) << size << ": " << run.err;
        EXPECT_EQ(pixels("b.png"), QSize(2480, 1600)) << size << " is not two numbers";
    }

    run = launch("--snapshot " + out("sheet.png") + " --sheet categories");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(pixels("sheet.png").width(), 1200) << "the sheet is 600 points wide";
}

TEST_F(SnapshotTest, FailuresSayFailed) {
    for (const std::string& arguments :
         {"--snapshot " + out("missing/x.png"), "--snapshot " + out() + " --size 0x0"}) {
        const test::Outcome run = launch(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_EQ(run.out, "snapshot failed\n") << arguments;
    }
    EXPECT_FALSE(std::filesystem::exists(out())) << "nothing written for a size of 0 by 0";

    // Without a value, --snapshot is no snapshot: the program wants its window, and
    // without a display says so instead of crashing.
    const test::Outcome run = launch("--snapshot");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no display"), std::string::npos) << run.err;
}

} // namespace
} // namespace vorn
