// A ProDOS volume kept in DOS sector order, served over loopback: the card must see the
// very bytes and headers its ProDOS-order twin gives, and its writes must land in the
// file's own sectors without changing its order, size or name.

#include "scan/LibraryScan.h"
#include "server/ShareServer.h"
#include "support/DosDisks.h"
#include "support/HttpClient.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using test::get;
using test::kDiskBytes;
using test::range;
using test::slurp;

constexpr const char* kDisk = "/Games/Adventure.dsk";
constexpr const char* kTwin = "/Games/Twin.po";

class DosOrderedDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_volume = test::proDosDisk("ADVENTURE");
        m_disk = m_dir.write("lib/Games/Adventure.dsk", test::dosOrdered(m_volume));
        const auto twin = m_dir.write("lib/Games/Twin.po", m_volume);
        std::filesystem::last_write_time(twin, std::filesystem::last_write_time(m_disk));
        m_dir.write("lib/Games/Master.dsk", test::dos33Disk());
        m_server.emplace(LibraryScan::run(m_converters.get(), m_dir / "lib", true), false, "Test",
                         std::nullopt, m_converters.get());
        m_server->setVersions({m_dir / "versions", 10s, 5, 2'000'000'000});
        m_server->start(0);
        m_client.emplace(m_server->status().port);
    }
    test::Reply ask(const std::string& target, const std::string& headers = "") {
        return m_client->ask(get(target, headers));
    }
    int put(const char* target, std::uint64_t offset, const std::string& bytes) {
        return m_client->ask(test::putRequest(target, offset, bytes, kDiskBytes)).status;
    }

    test::TempDir m_dir;
    test::IdleConverters m_converters;
    std::string m_volume;
    std::filesystem::path m_disk;
    std::optional<ShareServer> m_server;
    std::optional<test::HttpClient> m_client;
};

TEST_F(DosOrderedDiskTest, ReadsGiveWhatTheProDosTwinGives) {
    const std::vector<DiskImage> images = m_server->currentDiskCatalog().images();
    ASSERT_EQ(images.size(), 2u) << "the DOS 3.3 disk stays out";
    EXPECT_EQ(images[0].fileName, "Adventure.dsk");
    EXPECT_TRUE(images[0].bootable);

    for (std::uint64_t block = 0; block < 280; ++block) {
        const test::Reply reply = ask(kDisk, range(block * 512, block * 512 + 511));
        ASSERT_EQ(reply.status, 206) << "block " << block;
        ASSERT_TRUE(reply.body == m_volume.substr(block * 512, 512)) << "block " << block;
    }
    // Across blocks and tracks, the whole disk (too large to be read in one piece), HEAD.
    for (const std::string& headers : {range(4000, 13000), std::string(), range(143000, 999999)}) {
        const test::Reply disk = ask(kDisk, headers);
        const test::Reply twin = ask(kTwin, headers);
        EXPECT_EQ(disk.head, twin.head) << headers;
        EXPECT_TRUE(disk.body == twin.body) << headers << ": bytes differ from the twin's";
    }
    const auto head = [&](const char* target) {
        return m_client->request("HEAD " + std::string(target) + " HTTP/1.1\r\n\r\n", true)
            .value_or(test::Reply{})
            .head;
    };
    EXPECT_EQ(head(kDisk), head(kTwin));
    EXPECT_NE(head(kDisk).find("Content-Length: 143360\r\n"), std::string::npos) << head(kDisk);
}

TEST_F(DosOrderedDiskTest, WritesLandInTheirSectorsAndVersionsRestoreTheFile) {
    const std::string before = slurp(m_disk);
    // Block 13 lies on track 1, in two sectors that are not next to each other.
    ASSERT_EQ(put(kDisk, 13 * 512, std::string(512, 'w')), 200);
    std::string expected = before;
    expected.replace(test::dosOffset(13 * 512), 256, std::string(256, 'w'));
    expected.replace(test::dosOffset(13 * 512 + 256), 256, std::string(256, 'w'));
    EXPECT_TRUE(slurp(m_disk) == expected) << "the block's two sectors, and only they, change";

    // A write at no sector boundary, across blocks and from track 0 into track 1.
    std::string view = m_volume;
    view.replace(13 * 512, 512, std::string(512, 'w'));
    const std::string odd = test::pattern(700, 42);
    view.replace(4000, odd.size(), odd);
    ASSERT_EQ(put(kDisk, 4000, odd), 200);
    EXPECT_TRUE(slurp(m_disk) == test::dosOrdered(view)) << "the file is no longer in DOS order";
    EXPECT_TRUE(ask(kDisk, range(3584, 5119)).body == view.substr(3584, 1536));

    EXPECT_EQ(put(kDisk, kDiskBytes - 256, std::string(512, 'x')), 416) << "past the end";
    EXPECT_NE(put("/Games/Master.dsk", 0, std::string(512, 'x')), 200) << "not listed";
    EXPECT_TRUE(slurp(m_dir / "lib/Games/Master.dsk") == test::dos33Disk());
    EXPECT_EQ(test::namesIn(m_dir / "lib/Games"),
              (std::vector<std::string>{"Adventure.dsk", "Master.dsk", "Twin.po"}));

    const std::vector<Version> versions = m_server->versions("Games/Adventure.dsk");
    ASSERT_EQ(versions.size(), 1u);
    const VersionRestore::Outcome restored =
        m_server->restoreInPlace("Games/Adventure.dsk", versions[0].id);
    ASSERT_EQ(restored.kind, VersionRestore::Outcome::Kind::restored) << restored.message;
    EXPECT_TRUE(slurp(m_disk) == before) << "the version does not bring the file back";
}

} // namespace
} // namespace vorn
