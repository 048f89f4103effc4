// The one-shot commands of the built vorn-share, run as a child process.

#include "audio/AudioTranscoder.h"
#include "convert/ConversionCache.h"
#include "platform/XdgPaths.h"
#include "support/ProDosBytes.h"
#include "support/RunVornShare.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::describe;
using test::Outcome;
using test::ProDosBytes;
using test::TempDir;
using test::vornShare;

// Alpha.po boots; Games/Star Run.po is an 800 KB volume; Games/Arcade/Zap.2mg is a 2IMG
// container without boot marker; a text file and a Disk II image are not shared.
class VornShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.write("lib/Alpha.po",
                    ProDosBytes(280).volume("ALPHA").entry(2, 1, 1, "PRODOS", 0xFF).bytes());
        m_dir.write("lib/Games/Star Run.po", ProDosBytes(1600).volume("STAR.RUN").bytes());
        m_dir.write("lib/Games/Arcade/Zap.2mg",
                    test::twoImgHeader(64) + ProDosBytes(280).bootMarker(0).bytes());
        m_dir.write("lib/notes.txt", "not an image");
        m_dir.write("lib/Games/Old.dsk", std::string(143360, '\0'));
        m_dir.write("lib/.hidden/x.po", std::string(512, '\0'));
    }
    std::string lib() const { return (m_dir / "lib").string(); }

    TempDir m_dir;
};

TEST_F(VornShareTest, BadInputGetsOneLineAndStatusTwo) {
    const std::string file = (m_dir / "lib/notes.txt").string();
    std::vector<std::vector<std::string>> cases{{"scan", lib() + "/missing"},
                                                {"scan", file},
                                                {"catalog", file},
                                                {"hub", lib() + "/x"},
                                                {"catalog", lib(), "--bogus"},
                                                {"scan"},
                                                {},
                                                {"serve-everything", lib()}};
    for (const char* page : {"0", "x", "-3", "2x"}) {
        cases.push_back({"catalog", lib(), "--page", page});
    }
    for (const char* port : {"80", "65536", "0x1f90"}) {
        cases.push_back({"serve", lib(), "--port", port, "--no-advertise"});
    }
    for (const auto& args : cases) {
        const Outcome run = vornShare(args);
        EXPECT_EQ(run.status, 2) << describe(args);
        EXPECT_EQ(run.out, "") << describe(args);
        EXPECT_TRUE(run.err.starts_with("vorn-share: ") && run.err.ends_with("\n") &&
                    std::count(run.err.begin(), run.err.end(), '\n') == 1)
            << describe(args) << " must explain itself in one line starting \"vorn-share: \":\n"
            << run.err;
    }
}

TEST_F(VornShareTest, CatalogWritesTheBytesTheCardReceives) {
    const Outcome page = vornShare({"catalog", lib(), "--base", "http://lan:8271/", "--read-only"});
    EXPECT_EQ(page.status, 0) << page.err;
    EXPECT_EQ(page.out,
              "{ \"pages\": 1, \"total\": 3, \"volumes\": [\n"
              "  { \"name\": \"Alpha\", \"bytes\": 143360, \"blocks\": 280, \"boot\": true, "
              "\"readonly\": true, \"source\": \"lan\", \"url\": \"http://lan:8271/Alpha.po\" },\n"
              "  { \"name\": \"Star Run\", \"bytes\": 819200, \"blocks\": 1600, \"boot\": false, "
              "\"readonly\": true, \"source\": \"lan\", "
              "\"url\": \"http://lan:8271/Games/Star%20Run.po\" },\n"
              "  { \"name\": \"Zap\", \"bytes\": 143424, \"blocks\": 280, \"boot\": false, "
              "\"readonly\": true, \"source\": \"lan\", "
              "\"url\": \"http://lan:8271/Games/Arcade/Zap.2mg\" }\n"
              "] }\n");

    EXPECT_EQ(vornShare({"catalog", lib(), "--page", "2"}).out,
              "{ \"pages\": 1, \"total\": 3, \"volumes\": [\n] }\n");
    EXPECT_EQ(vornShare({"hub", lib()}).out,
              "{ \"hub\": \"your\", \"kind\": \"disks\", \"total\": 3, \"cats\": [\n"
              "  { \"name\": \"Games\", \"cat\": \"Games\", \"n\": 2 }\n"
              "] }\n");
}

TEST_F(VornShareTest, ScanShowsATableAndCountsDiskIIImages) {
    m_dir.write("lib/Games/Back\\slash.po", ProDosBytes(280).volume("BACK").bytes());
    const Outcome scan = vornShare({"scan", lib()});
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(scan.out, "NAME      VOLUME    BLOCKS  BOOT    SIZE  FOLDER\n"
                        "Alpha     ALPHA        280  yes   140 KB  /\n"
                        "Star Run  STAR.RUN    1600  no    800 KB  Games\n"
                        "Zap       -            280  no    140 KB  Games/Arcade\n"
                        "3 disk images shared; 1 file skipped, needing Disk II emulation "
                        "(.dsk, .do, .woz, .nib)\n"
                        "left out, a \"\\\" in the name cannot be requested: "
                        "Games/Back\\slash.po\n");
}

// A conversion that failed is not tried again until its file changes: scan names it with
// the converter's reason, so a person whose song never shows up can tell why.
TEST_F(VornShareTest, ScanNamesFailedConversions) {
    const fs::path song = m_dir.write("lib/Music/Song.mp3", "not audio");
    const fs::path marker = ConversionCache::marker(
        AudioTranscoder(XdgPaths::cacheDir(), std::nullopt).cachedPCM(song));
    fs::create_directories(marker.parent_path());
    std::ofstream(marker) << "exit status 1\n";
    const Outcome scan = vornShare({"scan", lib()});
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.out.find("\n1 conversion failed, not tried again until its file changes or "
                            "the tools are rechecked:\n  Song: exit status 1\n"),
              std::string::npos)
        << scan.out;
}

// Nor into the caches: listing what is converted makes no cache folder.
TEST_F(VornShareTest, ReadingCommandsWriteNothingIntoTheLibrary) {
    m_dir.write("lib/Art/Sunset.png", "png");
    m_dir.write("lib/Music/Tune.wav", "wav");
    const auto before = test::treeFacts(lib());
    ASSERT_FALSE(before.empty());
    setenv("XDG_CACHE_HOME", (m_dir / "cache").c_str(), 1);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"scan", lib()},
             {"catalog", lib()},
             {"catalog", lib(), "--kind", "pictures"},
             {"catalog", lib(), "--kind", "audio"},
             {"catalog", lib(), "--search", "a", "--cat", "Games"},
             {"hub", lib()}}) {
        EXPECT_EQ(vornShare(args).status, 0) << describe(args);
        EXPECT_EQ(test::treeFacts(lib()), before) << describe(args) << " changed the library";
        EXPECT_FALSE(fs::exists(m_dir / "cache")) << describe(args) << " made a cache folder";
    }
    unsetenv("XDG_CACHE_HOME");
}

TEST_F(VornShareTest, DemoWritesOnlyIntoANewOrEmptyFolder) {
    const fs::path busy = m_dir.write("busy/keep.txt", "mine").parent_path();
    const auto before = test::treeFacts(busy);
    const Outcome refused = vornShare({"demo", busy.string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_EQ(test::treeFacts(busy), before) << "nothing in a folder in use may change";

    const fs::path fresh = m_dir.mkdir("fresh");
    const Outcome demo = vornShare({"demo", fresh.string()});
    EXPECT_EQ(demo.status, 0) << demo.err;
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fresh)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        ++files;
        EXPECT_NE(demo.out.find("wrote " + entry.path().string() + "\n"), std::string::npos)
            << entry.path() << " was written without being reported";
    }
    EXPECT_EQ(std::size_t(std::count(demo.out.begin(), demo.out.end(), '\n')), files) << demo.out;
    const std::string scan = vornShare({"scan", fresh.string()}).out;
    EXPECT_NE(scan.find("\n2 disk images shared; 1 file skipped"), std::string::npos) << scan;
}

} // namespace
} // namespace vorn
