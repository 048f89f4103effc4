// `vorn-share versions` and `restore` as a user runs them, and the version a real
// `vorn-share serve` leaves when it is killed in the middle of a card's writes.

#include "scan/LibraryScan.h"
#include "server/ShareServer.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/RunVornShare.h"
#include "support/ServeProcess.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"
#include "versions/VersionStore.h"

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::describe;
using test::Outcome;
using test::vornShare;

constexpr std::uint64_t kSize = 280 * 512;

class VersionsCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        m_image = m_dir.write("lib/Games/Disk.po",
                              test::ProDosBytes(280).volume("DISK").patterned(3).bytes());
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("TZ");
        tzset();
    }

    // Two sessions written through a share in this process: four blocks, then one. The
    // ids, newest first.
    std::vector<std::string> keepTwoVersions() {
        ShareServer share(LibraryScan::run(m_converters.get(), m_dir / "lib", true), false, "Test",
                          std::nullopt, m_converters.get());
        share.setVersions({VersionStore::defaultRoot(), 100ms, 5, 2'000'000'000});
        share.start(0);
        test::HttpClient card(share.status().port);
        const auto put = [&](std::uint64_t offset, std::size_t bytes) {
            return card
                .ask(test::putRequest("/Games/Disk.po", offset, std::string(bytes, 'w'), kSize))
                .status;
        };
        EXPECT_EQ(put(4096, 2048), 200);
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(put(0, 512), 200);
        std::vector<std::string> ids;
        for (const Version& version : share.versions("Games/Disk.po")) {
            ids.push_back(version.id);
        }
        return ids;
    }
    std::string image() const { return m_image.string(); }
    // The image's journals, oldest first.
    std::vector<fs::path> journals() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(m_dir / "data")) {
            if (entry.path().extension() == ".journal") {
                found.push_back(entry.path());
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }
    static void patch(const fs::path& file, std::uint64_t offset, const std::string& bytes) {
        std::fstream(file, std::ios::in | std::ios::out | std::ios::binary)
                .seekp(std::streamoff(offset))
            << bytes;
    }
    // A run that cannot hang the test: an odd file in the versions folder once made the
    // commands wait forever.
    static Outcome bounded(const std::vector<std::string>& args) {
        return test::shell("timeout 20 " + describe(args));
    }

    test::TempDir m_dir;
    test::IdleConverters m_converters;
    fs::path m_image;
};

TEST_F(VersionsCommandTest, ListsNewestFirstAndRestoresCopies) {
    const std::string before = test::slurp(m_image);
    const std::vector<std::string> ids = keepTwoVersions();
    ASSERT_EQ(ids.size(), 2u);
    const Outcome listed = vornShare({"versions", image()});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, ids[0] + "\t1 block\t608 bytes\n" + ids[1] + "\t4 blocks\t2 KB\n");

    // The longest name a folder takes: the copy is made under a short temporary name.
    const std::string copy = (m_dir / (std::string(252, 'n') + ".po")).string();
    const Outcome restored = vornShare({"restore", image(), ids[1], "--as", copy});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out,
              "restored " + image() + " as it was at " + ids[1] + " into " + copy + "\n");

    // Changed behind the share's back: both versions say so, and so does a restore.
    std::ofstream(m_image, std::ios::app) << "x";
    EXPECT_EQ(vornShare({"versions", image()}).out,
              ids[0] + "\t1 block\t608 bytes\tchanged outside the share since\n" + ids[1] +
                  "\t4 blocks\t2 KB\tchanged outside the share since\n");
    const std::string other = (m_dir / "Disk then.po").string();
    const Outcome warned = vornShare({"restore", image(), ids[1], "--as", other});
    EXPECT_TRUE(test::slurp(copy) == before) << "the copy of the older version differs";
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.err, "vorn-share: warning: " + image() +
                              " was changed outside the share since " + ids[1] +
                              "; the blocks the share did not write are as they are now\n");
    EXPECT_TRUE(test::slurp(other) == before) << "the appended byte was not cut off";
}

TEST_F(VersionsCommandTest, BadInputGetsOneLineAndChangesNothing) {
    const std::string id = keepTwoVersions().at(0);
    const std::string missing = (m_dir / "lib/Gone.po").string();
    const std::string taken = m_dir.write("taken.po", "mine").string();
    const std::string plain = m_dir.write("lib/Plain.po", "no versions").string();
    const std::string copy = (m_dir / "copy.po").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"versions", missing}, "no such file: " + missing},
        {{"versions", m_dir.path().string()}, "not a file: " + m_dir.path().string()},
        {{"restore", image(), "yesterday", "--as", copy},
         "not a version id: yesterday (ids look like 2026-05-01T14:03:22-04:00; vorn-share "
         "versions IMAGE lists them)"},
        {{"restore", image(), "2001-01-01T00:00:00", "--as", copy},
         "no version 2001-01-01T00:00:00 of Games/Disk.po"},
        {{"restore", missing, id, "--as", copy}, "no such file: " + missing},
        {{"restore", plain, id, "--as", copy}, "no versions of " + plain},
        {{"restore", image(), id, "--as", taken},
         taken + " already exists; restore never replaces a file"},
        {{"restore", image(), id, "--as", (m_dir / "nowhere/copy.po").string()},
         "no such folder: " + (m_dir / "nowhere").string()},
        {{"restore", image(), id}, "--as is required"},
        {{"restore", image(), id, "--as", ""}, "--as needs the name of the new file"},
    };
    const auto before = test::treeFacts(m_dir.path());
    for (const auto& [args, line] : cases) {
        const Outcome run = vornShare(args);
        EXPECT_EQ(run.status, 2) << describe(args);
        EXPECT_EQ(run.err, "vorn-share: " + line + "\n") << describe(args);
        EXPECT_EQ(run.out, "") << describe(args);
    }
    EXPECT_EQ(test::treeFacts(m_dir.path()), before) << "a refused command changed a file";
}

// A dated copy beside the image under the first free name; bad input gets one line and
// leaves the library as it was. (A copy that fails midway is DatedCopyTest's.)
TEST_F(VersionsCommandTest, SnapshotMakesADatedCopyBesideTheImage) {
    setenv("TZ", "UTC", 1);
    const auto stamp = [](std::chrono::system_clock::time_point when) {
        const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H%M", &utc);
        return std::string(text);
    };
    // This minute's name and the next one's are both taken, so the copy is "-2" whichever
    // minute it is made in.
    const fs::path games = m_dir / "lib/Games";
    std::vector<std::string> wanted;
    const auto now = std::chrono::system_clock::now();
    for (const auto when : {now, now + 1min}) {
        m_dir.write("lib/Games/Disk " + stamp(when) + ".po", "taken");
        wanted.push_back("wrote " + (games / ("Disk " + stamp(when) + "-2.po")).string() + "\n");
    }
    const Outcome made = vornShare({"snapshot", image()});
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_TRUE(made.out == wanted[0] || made.out == wanted[1]) << made.out;
    EXPECT_EQ(test::slurp(made.out.substr(6, made.out.size() - 7)), test::slurp(image()));
    EXPECT_EQ(test::namesIn(games).size(), 4u) << "the taken names were replaced";

    const std::string missing = (m_dir / "lib/Gone.po").string();
    const std::string notes = m_dir.write("lib/Notes.txt", "notes").string();
    const std::string diskII = m_dir.write("lib/Old.dsk", std::string(143360, '\0')).string();
    const std::vector<std::pair<std::string, std::string>> refused{
        {missing, "no such file: " + missing},
        {games.string(), "not a file: " + games.string()},
        {notes, "not a disk image the share lists: " + notes},
        {diskII, "not a disk image the share lists: " + diskII},
    };
    const auto before = test::treeFacts(m_dir.path());
    for (const auto& [file, line] : refused) {
        const Outcome run = vornShare({"snapshot", file});
        EXPECT_EQ(run.status, 2) << file;
        EXPECT_EQ(run.err, "vorn-share: " + line + "\n");
    }

    EXPECT_EQ(test::treeFacts(m_dir.path()), before) << "a refused snapshot changed the library";
}

// A journal that lost its tail, holds a changed byte, has a damaged header or is no file
// at all is listed as damaged, and no version it is needed for is restored: one line,
// exit status 1, no file.
TEST_F(VersionsCommandTest, DamagedJournalsAreListedAndNeverRestoredFrom) {
    const std::vector<std::string> ids = keepTwoVersions();
    ASSERT_EQ(ids.size(), 2u);
    const std::vector<fs::path> files = journals();
    ASSERT_EQ(files.size(), 2u);
    const fs::path older = files[0];
    const fs::path newer = files[1];
    const std::string olderBytes = test::slurp(older);
    const std::string newerBytes = test::slurp(newer);
    const std::string copy = (m_dir / "copy.po").string();
    struct Damage {
        std::string what;
        std::function<void()> apply;
        std::string olderColumn; // what the listing says of the older version
        std::string line;        // why restoring the older version fails
    };
    const std::string cantOlder = "cannot restore " + ids[1] + ": version ";
    const std::vector<Damage> damages{
        {"a lost tail", [&] { fs::resize_file(older, olderBytes.size() - 528); },
         "\tdamaged (cut short: 3 of 4 blocks)",
         cantOlder + ids[1] + " is damaged (cut short: 3 of 4 blocks)"},
        {"a changed byte", [&] { patch(newer, newerBytes.size() - 100, "!"); }, "",
         cantOlder + ids[0] + " is damaged (block record 1 of 1 fails its checks)"},
        {"an image size of 1 TiB", [&] { patch(older, 16, std::string("\0\0\0\0\0\x01\0\0", 8)); },
         "\tdamaged (header fails its checksum)",
         cantOlder + ids[1] + " is damaged (header fails its checksum)"},
        {"an older format", [&] { patch(older, 0, "VORNVJ1\n"); }, "\tdamaged (an older format)",
         cantOlder + ids[1] + " is damaged (an older format)"},
    };
    for (const Damage& damage : damages) {
        damage.apply();
        const Outcome listed = bounded({"versions", image()});
        EXPECT_EQ(listed.status, 0) << damage.what << ": " << listed.err;
        const std::size_t newline = listed.out.find('\n');
        const std::string olderLine = listed.out.substr(newline + 1);
        EXPECT_EQ(listed.out.substr(0, newline), ids[0] + "\t1 block\t608 bytes") << damage.what;
        EXPECT_TRUE(olderLine.starts_with(ids[1] + "\t") &&
                    olderLine.ends_with(damage.olderColumn + "\n") &&
                    std::count(olderLine.begin(), olderLine.end(), '\t') ==
                        (damage.olderColumn.empty() ? 2 : 3))
            << damage.what << ":\n"
            << listed.out;
        const Outcome restored = bounded({"restore", image(), ids[1], "--as", copy});
        EXPECT_EQ(restored.status, 1) << damage.what;
        EXPECT_EQ(restored.err, "vorn-share: " + damage.line + "\n") << damage.what;
        EXPECT_FALSE(fs::exists(copy)) << damage.what << ": a damaged restore wrote a file";
        fs::remove(copy);
        std::ofstream(older, std::ios::binary | std::ios::trunc) << olderBytes;
        std::ofstream(newer, std::ios::binary | std::ios::trunc) << newerBytes;
    }

    // A FIFO where a journal belongs hangs neither command, and costs only itself.
    ASSERT_EQ(mkfifo((older.parent_path() / "000000000001.journal").c_str(), 0600), 0);
    const Outcome listed = bounded({"versions", image()});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("\t0 blocks\t0 bytes\tdamaged (not a regular file)\n"),
              std::string::npos)
        << listed.out;
    const Outcome restored = bounded({"restore", image(), ids[1], "--as", copy});
    EXPECT_EQ(restored.status, 0) << restored.err;
}

// Ids carry their offset from UTC, so the hour repeated when daylight saving time ends
// gives two ids; the same id without its offset then names two versions and is refused.
TEST_F(VersionsCommandTest, IdsStayUniqueWhenClocksGoBack) {
    const std::string before = test::slurp(m_image);
    setenv("TZ", "America/New_York", 1);
    tzset();
    keepTwoVersions();
    const std::vector<fs::path> files = journals();
    ASSERT_EQ(files.size(), 2u);
    // 01:30 daylight time, then 01:30 standard time an hour later.
    fs::rename(files[0], files[0].parent_path() / "001793511000.journal");
    fs::rename(files[1], files[1].parent_path() / "001793514600.journal");
    const Outcome listed = vornShare({"versions", image()});
    const std::string earlier = "2026-11-01T01:30:00-04:00";
    const std::string later = "2026-11-01T01:30:00-05:00";
    EXPECT_EQ(listed.out, later + "\t1 block\t608 bytes\n" + earlier + "\t4 blocks\t2 KB\n");

    const std::string copy = (m_dir / "copy.po").string();
    const Outcome ambiguous = vornShare({"restore", image(), "2026-11-01T01:30:00", "--as", copy});
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_EQ(ambiguous.err, "vorn-share: ambiguous id: 2026-11-01T01:30:00 names " + later +
                                 " and " + earlier + "\n");
    EXPECT_FALSE(fs::exists(copy));
    const Outcome restored = vornShare({"restore", image(), earlier, "--as", copy});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_TRUE(test::slurp(copy) == before) << "the earlier version did not come back";
}

// A card writing runs of one to four blocks at random, and the share killed after a few
// hundred of them: the version of the interrupted session still brings back the image as
// it was before every write the card was told succeeded, and any it was not.
TEST_F(VersionsCommandTest, KillNineInTheMiddleOfWritesLeavesARestorableVersion) {
    const std::string before = test::slurp(m_image);
    m_dir.mkdir("config");
    test::ServeProcess serve(
        {"serve", (m_dir / "lib").string(), "--port", "0", "--no-advertise", "--version-gap", "1"},
        m_dir / "config");
    const std::uint16_t port = serve.port();
    ASSERT_GT(port, 0) << serve.text();
    std::atomic<int> acknowledged{0};
    std::thread card([&] {
        test::HttpClient client(port);
        std::mt19937 random(7);
        for (;;) {
            const std::uint64_t blocks = 1 + random() % 4;
            const std::uint64_t offset = 512 * (random() % (280 - blocks));
            const std::string bytes(blocks * 512, char('a' + random() % 26));
            if (client.ask(test::putRequest("/Games/Disk.po", offset, bytes, kSize)).status !=
                200) {
                return; // the share is gone
            }
            ++acknowledged;
        }
    });
    test::eventually([&] { return acknowledged >= 300; }, 10s);
    serve.signal(SIGKILL);
    card.join();
    ASSERT_GE(acknowledged, 300) << serve.text();
    EXPECT_EQ(serve.exitStatus(), 128 + SIGKILL);
    ASSERT_FALSE(test::slurp(m_image) == before) << "the writes did not land";

    const Outcome listed = vornShare({"versions", image()});
    ASSERT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 1) << listed.out;
    const std::string copy = (m_dir / "rescued.po").string();
    const Outcome restored =
        vornShare({"restore", image(), listed.out.substr(0, 19), "--as", copy});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_TRUE(test::slurp(copy) == before) << "the interrupted session's version is incomplete";
}

} // namespace
} // namespace vorn
