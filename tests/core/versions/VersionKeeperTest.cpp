// Versions of a share's images, written by a card over loopback: sessions, restores as a
// copy and in place, the caps and images changed behind the share's back.

#include "platform/Text.h"
#include "scan/LibraryScan.h"
#include "server/ShareServer.h"
#include "support/FileSizeLimit.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"
#include "versions/VersionRestore.h"

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint64_t kSize = 280 * 512;
// Writes closer together than this are one session; the share's clock for it is the
// test's, so the time the writes take on a loaded machine does not count.
constexpr auto kGap = 10min;

std::string volume(std::string_view name) {
    return test::ProDosBytes(280).volume(name).patterned(3).bytes();
}

class VersionKeeperTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_disk = m_dir.write("lib/Games/Disk.po", volume("DISK"));
        m_dir.write("lib/Games/Other.po", volume("OTHER"));
        m_server.emplace(LibraryScan::run(m_converters.get(), m_dir / "lib", true), false, "Test",
                         std::nullopt, m_converters.get(), [this] { return now(); });
        m_server->setVersions(settings(5, 2'000'000'000));
        m_server->start(0);
        m_client.emplace(m_server->status().port);
    }
    VersionSettings settings(std::int64_t kept, std::uint64_t maxBytes) const {
        return {m_dir / "versions", kGap, kept, maxBytes};
    }
    // One block write as the card sends it; the answer's status.
    int put(std::uint64_t offset, const std::string& bytes, const std::string& image = "Disk") {
        return m_client->ask(test::putRequest("/Games/" + image + ".po", offset, bytes, kSize))
            .status;
    }
    static std::string block(char fill) { return std::string(512, fill); }
    std::chrono::steady_clock::time_point now() const {
        return std::chrono::steady_clock::time_point(m_elapsed.load());
    }
    void wait(std::chrono::steady_clock::duration spell) {
        m_elapsed.store(m_elapsed.load() + spell);
    }
    // The shortest spell that ends a session.
    void quiet() { wait(kGap + 1ns); }
    std::vector<Version> versions(const std::string& image = "Disk") {
        return m_server->versions("Games/" + image + ".po");
    }
    std::vector<std::string> ids(const std::string& image = "Disk") {
        std::vector<std::string> out;
        for (const Version& version : versions(image)) {
            out.push_back(version.id);
        }
        return out;
    }
    // The bytes of a restored copy of version `id`, with the outcome.
    std::string copyOf(const std::string& id, VersionRestore::Outcome* outcome = nullptr) {
        const fs::path copy = m_dir / ("copy " + id);
        const VersionRestore::Outcome done = VersionRestore::toCopy(
            VersionStore(m_dir / "versions"), {m_dir / "lib", "Games/Disk.po"}, id, copy);
        if (outcome != nullptr) {
            *outcome = done;
        }
        return done.kind == VersionRestore::Outcome::Kind::restored ? test::slurp(copy)
                                                                    : "(" + done.message + ")";
    }
    std::string disk() const { return test::slurp(m_disk); }
    std::string log() { return Text::join(m_server->status().recentLines.last(100), "\n") + "\n"; }

    // Read on the server's thread, stepped on the test's.
    std::atomic<std::chrono::steady_clock::duration> m_elapsed{};
    test::TempDir m_dir;
    test::IdleConverters m_converters;
    fs::path m_disk;
    std::optional<ShareServer> m_server;
    std::optional<test::HttpClient> m_client;
};

TEST_F(VersionKeeperTest, EachSessionComesBackByteForByteAsACopyAndInPlace) {
    const std::string before = disk();
    // A block written twice (only its bytes before the first write count), a write across
    // three blocks at no block boundary, and the image's last block.
    // Spells as long as the gap between them, which do not end the session yet.
    ASSERT_EQ(put(1024, block('a')), 200);
    wait(kGap);
    ASSERT_EQ(put(1024, block('b')), 200);
    wait(kGap);
    ASSERT_EQ(put(1500, std::string(600, 'c')), 200);
    wait(kGap);
    ASSERT_EQ(put(kSize - 512, block('d')), 200);
    const std::string afterOne = disk();
    quiet();
    ASSERT_EQ(put(0, block('e')), 200);
    ASSERT_EQ(put(1024, block('f')), 200);
    const std::string afterTwo = disk();

    const std::vector<Version> kept = versions();
    ASSERT_EQ(kept.size(), 2u) << log();
    EXPECT_EQ(kept[0].blocks, 2u) << "the second session wrote blocks 0 and 2";
    EXPECT_EQ(kept[1].blocks, 4u) << "the first session wrote blocks 2, 3, 4 and 279";
    EXPECT_FALSE(kept[0].changedOutside || kept[1].changedOutside);
    EXPECT_TRUE(copyOf(kept[1].id) == before) << "the copy of the first version differs";
    EXPECT_TRUE(copyOf(kept[0].id) == afterOne) << "the copy of the second version differs";
    EXPECT_EQ(disk(), afterTwo) << "restoring a copy changed the image";

    // In place: back to the first version, then undone through the version it kept.
    const VersionRestore::Outcome restored = m_server->restoreInPlace("Games/Disk.po", kept[1].id);
    ASSERT_EQ(restored.kind, VersionRestore::Outcome::Kind::restored) << restored.message;
    EXPECT_TRUE(disk() == before) << "the image did not come back to the first version";
    const std::vector<Version> withRestore = versions();
    ASSERT_EQ(withRestore.size(), 3u);
    ASSERT_EQ(m_server->restoreInPlace("Games/Disk.po", withRestore[0].id).kind,
              VersionRestore::Outcome::Kind::restored);
    EXPECT_TRUE(disk() == afterTwo) << "undoing the restore did not bring back its image";

    ASSERT_EQ(put(2048, block('g')), 200);
    EXPECT_EQ(versions().size(), 5u) << "a card's write after a restore begins a session";
    for (const Version& version : versions()) {
        EXPECT_FALSE(version.changedOutside) << version.id << " is marked changed";
    }
    const std::string lines = log();
    EXPECT_NE(lines.find("  restored Games/Disk.po to " + kept[1].id), std::string::npos) << lines;
    std::size_t keptLines = 0;
    for (std::size_t at = 0;
         (at = lines.find("  version kept: Games/Disk.po\n", at)) != std::string::npos; ++at) {
        ++keptLines;
    }
    EXPECT_EQ(keptLines, 5u) << "one line per version:\n" << lines;
}

TEST_F(VersionKeeperTest, CapsDropTheOldestButNeverAnImagesNewest) {
    m_server->setVersions(settings(2, 2'000'000'000));
    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(put(512 * std::uint64_t(4 + i), block('a')), 200);
        seen.push_back(ids().front());
        quiet();
    }
    const auto settles = [&](const std::string& image, std::vector<std::string> want) {
        return test::eventually([&] { return ids(image) == want; });
    };
    EXPECT_TRUE(settles("Disk", {seen[3], seen[2]})) << "kept 2 of 4, the newest";

    // Three one-block versions take 1,776 bytes: over the cap, the oldest goes, and the
    // newest of each image stays even when the cap is below them.
    m_server->setVersions(settings(5, 1300));
    ASSERT_EQ(put(4096, block('b'), "Other"), 200);
    EXPECT_TRUE(settles("Disk", {seen[3]}));
    EXPECT_EQ(ids("Other").size(), 1u);
    m_server->setVersions(settings(5, 1));
    quiet();
    ASSERT_EQ(put(4096, block('c'), "Other"), 200);
    EXPECT_TRUE(settles("Other", {ids("Other").front()}));
    EXPECT_EQ(ids("Disk"), std::vector<std::string>{seen[3]});
}

TEST_F(VersionKeeperTest, AnImageChangedBehindTheSharesBackIsMarked) {
    const std::string before = disk();
    const auto scribble = [&](std::uint64_t offset) {
        std::fstream file(m_disk, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::streamoff(offset));
        file << block('x');
    };
    ASSERT_EQ(put(1024, block('a')), 200);
    scribble(5120);
    // Within the gap, yet a new session: the first one's journal cannot undo the scribble.
    ASSERT_EQ(put(1024, block('b')), 200);
    std::vector<Version> kept = versions();
    ASSERT_EQ(kept.size(), 2u) << log();
    EXPECT_FALSE(kept[0].changedOutside);
    EXPECT_TRUE(kept[1].changedOutside) << "the scribble came after the first version";

    scribble(6144);
    kept = versions();
    EXPECT_TRUE(kept[0].changedOutside && kept[1].changedOutside);
    VersionRestore::Outcome outcome;
    std::string want = before;
    want.replace(5120, 512, block('x'));
    want.replace(6144, 512, block('x'));
    EXPECT_TRUE(copyOf(kept[1].id, &outcome) == want)
        << "the share's blocks come back, the others stay as they are";
    EXPECT_TRUE(outcome.changedOutside) << "the restore does not say the image was changed";
}

// A versions folder that cannot be made costs the card nothing: its writes land, and the
// log says once per session why no version was kept.
TEST_F(VersionKeeperTest, WritesGoOnWhenNoVersionCanBeKept) {
    m_dir.write("blocker", "a file where the versions folder should be");
    m_server->setVersions({m_dir / "blocker/versions", kGap, 5, 2'000'000'000});
    ASSERT_EQ(put(1024, block('a')), 200);
    ASSERT_EQ(put(2048, block('b')), 200);
    EXPECT_EQ(disk().substr(1024, 512), block('a'));
    EXPECT_EQ(disk().substr(2048, 512), block('b'));
    const std::string lines = log();
    const std::string line = "  cannot keep a version of Games/Disk.po: Not a directory\n";
    EXPECT_NE(lines.find(line), std::string::npos) << lines;
    EXPECT_EQ(lines.find(line), lines.rfind(line)) << "logged at every write:\n" << lines;
}

// Someone emptying the versions folder under a session in progress: the session ends with
// a log line, and the card's writes go on into a version of their own.
TEST_F(VersionKeeperTest, AJournalCutShortUnderASessionEndsIt) {
    ASSERT_EQ(put(1024, block('a')), 200);
    const std::string afterOne = disk();
    fs::resize_file(versions().front().journal, 0);
    // Block 2 again: nothing to append, only the header to update (through a mapping once,
    // which raised SIGBUS over the emptied file).
    ASSERT_EQ(put(1024, block('b')), 200);
    ASSERT_EQ(put(1536, block('c')), 200);
    EXPECT_TRUE(disk().substr(1024, 2 * 512) == block('b') + block('c'))
        << "a write after the cut did not land";
    EXPECT_NE(log().find("  the journal of Games/Disk.po was cut short or removed outside the "
                         "share; a new version is kept\n"),
              std::string::npos)
        << log();
    const std::vector<Version> kept = versions();
    ASSERT_EQ(kept.size(), 2u) << log();
    EXPECT_EQ(kept[1].note(), "damaged (cut short: no header)");
    EXPECT_EQ(kept[0].note(), "");
    EXPECT_TRUE(copyOf(kept[0].id) == afterOne) << "the new version does not undo b and c";
    EXPECT_EQ(copyOf(kept[1].id).substr(0, 16), "(cannot restore ") << "restored without a journal";
}

// The versions folder filling up in the middle of a session: the card's writes land, and
// the listing says that a version could not be kept rather than blaming another program.
TEST_F(VersionKeeperTest, AFullVersionsFolderIsSaidSo) {
    ASSERT_EQ(put(0, block('a')), 200);
    {
        // The journal's next record does not fit below 1 KiB; the image's block 1 does.
        const test::FileSizeLimit full(1024);
        ASSERT_EQ(put(512, block('b')), 200);
    }
    EXPECT_TRUE(disk().substr(0, 1024) == block('a') + block('b')) << "a write did not land";
    EXPECT_NE(log().find("  cannot keep a version of Games/Disk.po: File too large\n"),
              std::string::npos)
        << log();
    const std::vector<Version> kept = versions();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].note(), "a version could not be kept: File too large");
    VersionRestore::Outcome outcome;
    copyOf(kept[0].id, &outcome);
    EXPECT_EQ(outcome.lost, "File too large") << "a restore blames another program";
}

} // namespace
} // namespace vorn
