// `vorn-share versions` and `restore` as a user runs them, and the version a real
// `vorn-share serve` leaves when it is killed in the middle of a card's writes.

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
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <thread>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::describe;
using test::Outcome;
using test::vornShare;

constexpr std::uint64_t kSize = 280 * 512;

// Every file below `root` with its size and modification time.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        tree[entry.path().string()] =
            entry.is_regular_file()
                ? std::to_string(entry.file_size()) + " " +
                      std::to_string(entry.last_write_time().time_since_epoch().count())
                : "folder";
    }
    return tree;
}

class VersionsCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        m_image = m_dir.write("lib/Games/Disk.po",
                              test::ProDosBytes(280).volume("DISK").patterned(3).bytes());
    }
    void TearDown() override { unsetenv("XDG_DATA_HOME"); }

    // Two sessions written through a share in this process: four blocks, then one. The
    // ids, newest first.
    std::vector<std::string> keepTwoVersions() {
        ShareServer share(m_dir / "lib", true, false, "Test", std::nullopt, m_converters.get());
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
    EXPECT_EQ(listed.out, ids[0] + "\t1 block\t592 bytes\n" + ids[1] + "\t4 blocks\t2 KB\n");

    const std::string copy = (m_dir / "Disk then.po").string();
    const Outcome restored = vornShare({"restore", image(), ids[1], "--as", copy});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out,
              "restored " + image() + " as it was at " + ids[1] + " into " + copy + "\n");
    EXPECT_TRUE(test::slurp(copy) == before) << "the copy is not the image before its writes";

    // Changed behind the share's back: both versions say so, and so does a restore.
    std::ofstream(m_image, std::ios::app) << "x";
    EXPECT_EQ(vornShare({"versions", image()}).out,
              ids[0] + "\t1 block\t592 bytes\tchanged outside the share since\n" + ids[1] +
                  "\t4 blocks\t2 KB\tchanged outside the share since\n");
    const Outcome warned = vornShare({"restore", image(), ids[1], "--as", copy + "2"});
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.err, "vorn-share: warning: " + image() +
                              " was changed outside the share since " + ids[1] +
                              "; the blocks the share did not write are as they are now\n");
    EXPECT_TRUE(test::slurp(copy + "2") == before) << "the appended byte was not cut off";
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
         "not a version id: yesterday (ids look like 2024-05-01T14:03:22; vorn-share versions "
         "IMAGE lists them)"},
        {{"restore", image(), "2001-01-01T00:00:00", "--as", copy},
         "no version 2001-01-01T00:00:00 of Games/Disk.po"},
        {{"restore", missing, id, "--as", copy}, "no such file: " + missing},
        {{"restore", plain, id, "--as", copy}, "no versions of " + plain},
        {{"restore", image(), id, "--as", taken},
         taken + " already exists; restore never replaces a file"},
        {{"restore", image(), id, "--as", (m_dir / "nowhere/copy.po").string()},
         "no such folder: " + (m_dir / "nowhere").string()},
        {{"restore", image(), id}, "--as is required"},
    };
    const auto before = snapshot(m_dir.path());
    for (const auto& [args, line] : cases) {
        const Outcome run = vornShare(args);
        EXPECT_EQ(run.status, 2) << describe(args);
        EXPECT_EQ(run.err, "vorn-share: " + line + "\n") << describe(args);
        EXPECT_EQ(run.out, "") << describe(args);
    }
    EXPECT_EQ(snapshot(m_dir.path()), before) << "a refused command changed a file";
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
    for (int i = 0; i < 1000 && acknowledged < 300; ++i) {
        std::this_thread::sleep_for(10ms);
    }
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
