// The share over real loopback connections: the server runs on its own thread, the
// tests talk to it through sockets as the card would.

#include "server/ShareServer.h"

#include "support/HttpClient.h"
#include "support/TempDir.h"

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using test::HttpClient;

constexpr std::uint64_t kImageSize = 819200;
constexpr const char* kImage = "/Games/Star%20Run.po";

std::string pattern(std::uint64_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::uint64_t i = 0; i < size; ++i) {
        bytes[i] = char((i * 31 + i / 509 + seed) & 0xFF);
    }
    return bytes;
}

std::string get(const std::string& target, const std::string& headers = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: share\r\n" + headers + "\r\n";
}

std::string put(const std::string& target, std::string_view body, const std::string& headers = "") {
    return "PUT " + target + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + headers + "\r\n" + std::string(body);
}

// Star Run (800 KB), Big (3 MB) and an empty file in the library; secret.po beside it,
// outside, with a link to it from inside. The server listens on a free port, unadvertised.
class ShareServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_image = pattern(kImageSize, 1);
        m_dir.write("lib/Games/Star Run.po", m_image);
        m_big = m_dir.write("lib/Big.po", pattern(3 << 20, 2));
        m_dir.write("lib/Empty.po", "");
        m_dir.link("lib/Link.po", m_dir.write("secret.po", "secret"));
        m_dir.link("lib/Inside.po", m_big);
        m_server.emplace(m_dir / "lib", true, false, "Vorn Test", std::nullopt);
        m_server->start(0);
        m_port = m_server->status().port;
        ASSERT_NE(m_port, 0) << "the listener should report the port it got";
    }
    std::string onDisk(const std::filesystem::path& file) const {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string image() const { return onDisk(m_dir / "lib/Games/Star Run.po"); }

    test::TempDir m_dir;
    std::string m_image;
    std::filesystem::path m_big;
    std::optional<ShareServer> m_server;
    std::uint16_t m_port = 0;
};

TEST_F(ShareServerTest, HeadIsFoundWhateverThePackets) {
    HttpClient client(m_port);
    ASSERT_TRUE(client.send(get("/vorn-volumes.json"), true));
    auto reply = client.read().value_or(test::Reply{});
    ASSERT_TRUE(reply) << "no answer to a head sent one byte per packet";
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.body.find("\"url\": \"http://share/Games/Star%20Run.po\""), std::string::npos);

    // Split inside the final CR LF CR LF: nothing may happen before its last byte.
    ASSERT_TRUE(client.send("GET /index.html HTTP/1.1\r\n\r"));
    EXPECT_TRUE(client.quiet()) << "answered before the head was complete";
    reply = client.ask("\n");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.status, 200) << "a request line without headers is a request";
    EXPECT_EQ(reply.header("Connection"), "keep-alive");
}

TEST_F(ShareServerTest, HeadMayGrowTo256KiB) {
    std::string head = "GET /vorn-volumes.json HTTP/1.1\r\nX-Pad: ";
    head.resize(262144, 'a');
    HttpClient edge(m_port);
    ASSERT_TRUE(edge.send(head));
    EXPECT_TRUE(edge.quiet(400ms)) << "262144 bytes without a blank line must not end it";
    const auto reply = edge.ask("\r\n\r\n");
    ASSERT_TRUE(reply) << "the connection was dropped at the limit";
    EXPECT_EQ(reply.status, 200);

    HttpClient over(m_port);
    ASSERT_TRUE(over.send(head + "a"));
    EXPECT_TRUE(over.closedSilently()) << "one byte past the limit must close without an answer";
}

TEST_F(ShareServerTest, BodyIsAwaitedUntilComplete) {
    HttpClient client(m_port);
    const std::string head =
        "PUT " + std::string(kImage) + " HTTP/1.1\r\nContent-Length: 10\r\n\r\n";
    ASSERT_TRUE(client.send(head + "0123"));
    EXPECT_TRUE(client.quiet()) << "answered with 4 of 10 body bytes";
    ASSERT_EQ(client.ask("456789").status, 200);
    std::string expected = m_image;
    expected.replace(0, 10, "0123456789");
    EXPECT_EQ(image(), expected);

    HttpClient leaving(m_port);
    ASSERT_TRUE(leaving.send(head + "abcd"));
    leaving.shutdownWrite();
    EXPECT_TRUE(leaving.closedSilently()) << "a peer that stops sending gets no answer";
    EXPECT_EQ(image(), expected) << "a partial body must not be written";

    const std::string large = pattern(300 * 1024, 9); // many reads' worth
    ASSERT_EQ(client.ask(put(kImage, large, "Content-Range: bytes 32768-/819200\r\n")).status, 200);
    expected.replace(32768, large.size(), large);
    EXPECT_TRUE(image() == expected) << "a 300 KB body was not written whole";

    HttpClient done(m_port);
    ASSERT_TRUE(done.send(get("/vorn-volumes.json")));
    done.shutdownWrite();
    const auto answer = done.read().value_or(test::Reply{});
    ASSERT_TRUE(answer) << "a whole request followed by the end of sending gets its answer";
    EXPECT_TRUE(done.closedSilently());
    EXPECT_EQ(m_server->status().requests, 3u);
}

TEST_F(ShareServerTest, KeepAliveUntilAskedToClose) {
    HttpClient client(m_port);
    for (std::uint64_t at = 0; at < 40 * 512; at += 512) {
        const std::string range = std::to_string(at) + "-" + std::to_string(at + 511);
        auto reply = client.ask(get(kImage, "Range: bytes=" + range + "\r\n"));
        ASSERT_TRUE(reply) << "block at " << at;
        EXPECT_EQ(reply.status, 206);
        EXPECT_EQ(reply.header("Content-Range"), "bytes " + range + "/819200");
        EXPECT_EQ(reply.body, m_image.substr(at, 512));
        reply = client.ask(get("/vorn-volumes-" + std::to_string(at) + ".json"));
        ASSERT_TRUE(reply) << "page after block " << at;
        EXPECT_EQ(reply.header("Accept-Ranges"), "bytes");
    }
    const auto last = client.ask(get("/nothing", "Connection: Close\r\n"));
    ASSERT_TRUE(last);
    EXPECT_EQ(last.header("Connection"), "close");
    EXPECT_TRUE(client.closedSilently()) << "the server must close after a Close answer";
    EXPECT_EQ(m_server->status().requests, 81u);
    EXPECT_EQ(m_server->status().bytesServed, 40u * 512);
}

TEST_F(ShareServerTest, AnswersOverTheWire) {
    HttpClient client(m_port);
    auto reply = client.ask(get(kImage, "Range: bytes=1024-\r\n"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.header("Content-Range"), "bytes 1024-819199/819200");
    EXPECT_EQ(reply.header("X-Vorn-Writable"), "1");
    EXPECT_TRUE(reply.body == m_image.substr(1024)) << "a large range arrives whole";

    const std::uint64_t served = m_server->status().bytesServed;
    ASSERT_TRUE(client.send("HEAD " + std::string(kImage) + " HTTP/1.1\r\n\r\n"));
    reply = client.read(true).value_or(test::Reply{});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.header("Content-Length"), "819200");
    reply = client.ask(get(kImage, "Range: bytes=-0\r\n"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.status, 416) << "HEAD must leave no body bytes behind:\n" << reply.head;
    EXPECT_EQ(m_server->status().bytesServed, served) << "HEAD and 416 serve no bytes";

    reply = client.ask(get("/Empty.po"));
    ASSERT_TRUE(reply) << "the connection must survive a 416";
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.header("Content-Length"), "0");
    reply = client.ask(get("/Games/Missing.po"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.status, 404);
    EXPECT_EQ(reply.body, "no such file\n");
    reply = client.ask("POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.status, 405);

    const std::string big = onDisk(m_big);
    reply = client.ask(get("/Big.po"));
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply.body == big) << "3 MB body differs";
    // Readers that leave in the middle of a transfer cost the server only their connection.
    for (int i = 0; i < 3; ++i) {
        HttpClient leaving(m_port);
        ASSERT_TRUE(leaving.send(get("/Big.po")));
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(client.ask(get("/Big.po", "Range: bytes=0-99\r\n")).body, big.substr(0, 100));
}

TEST_F(ShareServerTest, ReadOnlyShareRefusesWrites) {
    m_server->refresh(std::nullopt, false);
    HttpClient client(m_port);
    EXPECT_EQ(client.ask(put(kImage, "XXXX")).status, 403);
    EXPECT_EQ(client.ask(put("/Games/Missing.po", "XXXX")).status, 403);
    EXPECT_EQ(client.ask(get(kImage)).header("X-Vorn-Writable"), "0");
    EXPECT_EQ(image(), m_image);
}

TEST_F(ShareServerTest, NothingOutsideTheLibraryIsReadOrWritten) {
    HttpClient client(m_port);
    for (const char* target :
         {"/../secret.po", "/%2E%2E/secret.po", "/%252E%252E/secret.po", "/Games/../../secret.po",
          "/Games%2F..%2F..%2Fsecret.po", "/%5C..%5Csecret.po", "/Games/..%5C..%5Csecret.po",
          "/Link.po", "//Link.po", "/Games/%2e%2e/Link.po"}) {
        const auto read = client.ask(get(target));
        const auto write = client.ask(put(target, "hacked"));
        ASSERT_TRUE(read && write) << target;
        EXPECT_EQ(read.status, 404) << "GET " << target;
        EXPECT_EQ(write.status, 404) << "PUT " << target;
    }
    EXPECT_EQ(onDisk(m_dir / "secret.po"), "secret");
    EXPECT_EQ(m_server->status().bytesServed, 0u);
    EXPECT_EQ(client.ask(get("/Inside.po")).status, 200)
        << "a link that stays inside the library is served";
}

// Writers and readers race on one image. Every request is served whole on the server's
// thread, so a block read is the block before or after some write, never a mix.
TEST_F(ShareServerTest, ConcurrentReadersAndWritersSeeWholeBlocks) {
    constexpr int kWriters = 3, kReaders = 3, kRounds = 12, kBlocksEach = 8;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            HttpClient client(m_port);
            for (int round = 0; round < kRounds; ++round) {
                for (int block = w * kBlocksEach; block < (w + 1) * kBlocksEach; ++block) {
                    const auto reply = client.ask(put(
                        kImage, std::string(512, char('A' + w * kRounds + round)),
                        "Content-Range: bytes " + std::to_string(block * 512) + "-/819200\r\n"));
                    failures += reply && reply.status == 200 ? 0 : 1;
                }
            }
        });
    }
    for (int r = 0; r < kReaders; ++r) {
        threads.emplace_back([&, r] {
            HttpClient client(m_port);
            std::mt19937 random{unsigned(r)};
            for (int i = 0; i < kRounds * kBlocksEach; ++i) {
                const std::size_t at = random() % (kWriters * kBlocksEach + 2) * 512;
                const auto reply =
                    client.ask(get(kImage, "Range: bytes=" + std::to_string(at) + "-" +
                                               std::to_string(at + 511) + "\r\n"));
                const bool whole =
                    reply && reply.body.size() == 512 &&
                    (reply.body == m_image.substr(at, 512) ||
                     reply.body.find_first_not_of(reply.body[0]) == std::string::npos);
                failures += whole ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0) << "some requests failed or read a torn block";
    std::string expected = m_image;
    for (int w = 0; w < kWriters; ++w) {
        expected.replace(std::size_t(w) * kBlocksEach * 512, kBlocksEach * 512,
                         std::string(kBlocksEach * 512, char('A' + w * kRounds + kRounds - 1)));
    }
    EXPECT_TRUE(image() == expected) << "the image holds other bytes than the last writes";
}

TEST_F(ShareServerTest, StatusIsPublishedAfterEveryRequest) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<ShareStatus> seen;
    m_server->setOnStatus([&](const ShareStatus& status) {
        std::lock_guard lock(mutex);
        seen.push_back(status);
        changed.notify_all();
    });
    HttpClient client(m_port);
    client.ask(get("/vorn-volumes.json"));
    client.ask(get(kImage, "Range: bytes=0-511\r\n"));
    client.ask(put(kImage, "abc", "Content-Range: bytes 512-514/819200\r\n"));
    std::vector<ShareStatus> received;
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 5s, [&] { return !seen.empty() && seen.back().requests == 3; });
        received = seen;
    }
    // The callback refers to this test's locals: detach it, and wait until the server's
    // thread has taken the change, before they go.
    m_server->setOnStatus(nullptr);
    m_server->status();

    ASSERT_EQ(received.size(), 3u) << "one status per request";
    for (std::uint64_t i = 0; i < 3; ++i) {
        EXPECT_EQ(received[i].requests, i + 1);
    }
    EXPECT_TRUE(received[1].lastRead.find("Games/Star Run.po"));
    EXPECT_FALSE(received[1].lastWrite.find("Games/Star Run.po"));
    EXPECT_TRUE(received[2].lastWrite.find("Games/Star Run.po"));
    EXPECT_TRUE(received[2].recentLines.all().back().ends_with("  PUT Star Run.po @512 +3"));
}

TEST_F(ShareServerTest, StopClosesEveryConnectionAndStartsAgain) {
    HttpClient idle(m_port);
    ASSERT_TRUE(idle.ask(get("/vorn-volumes.json")));
    HttpClient streaming(m_port);
    ASSERT_TRUE(streaming.send(get("/Big.po"))); // not read: the transfer stalls
    std::this_thread::sleep_for(50ms);
    m_server->stop();
    EXPECT_FALSE(m_server->status().running);
    EXPECT_TRUE(idle.closedWithin(5s)) << "an idle connection outlived stop()";
    EXPECT_TRUE(streaming.closedWithin(5s)) << "a transfer outlived stop()";
    EXPECT_FALSE(HttpClient(m_port).connected()) << "still accepting after stop()";

    m_server->start(m_port);
    EXPECT_TRUE(m_server->status().running);
    EXPECT_EQ(HttpClient(m_port).ask(get("/vorn-volumes.json")).status, 200);
}

TEST_F(ShareServerTest, PortInUseThrowsAndChangesNothing) {
    ShareServer second(m_dir / "lib", true, false, "Second", std::nullopt);
    const ShareStatus before = second.status();
    EXPECT_THROW(second.start(m_port), std::system_error);
    EXPECT_TRUE(second.status() == before);
    EXPECT_FALSE(second.status().running);
}

TEST_F(ShareServerTest, CategoryChangesAreLogged) {
    const auto lastLine = [&] { return m_server->status().recentLines.all().back().substr(10); };
    m_server->setHub(HubConfig{{{"Games", "Play"}}, false});
    EXPECT_EQ(lastLine(), "your hub: 1 category");
    EXPECT_EQ(m_server->currentHub().cats.at(0).displayLabel(), "Play");
    m_server->setHub(HubConfig{});
    EXPECT_EQ(lastLine(), "your hub: 0 categories");
    m_dir.write("lib/More/x.po", pattern(1024, 4));
    m_server->refresh();
    m_server->setHub(std::nullopt);
    EXPECT_EQ(lastLine(), "your hub: 2 categories") << "the defaults: Games and More";
}

TEST_F(ShareServerTest, ServesIPv6Loopback) {
    HttpClient client(m_port, AF_INET6);
    if (!client.connected()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    const std::string host = "[::1]:" + std::to_string(m_port);
    const auto reply = client.ask("GET /vorn-volumes.json HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    ASSERT_TRUE(reply);
    EXPECT_NE(reply.body.find("\"url\": \"http://" + host + "/Big.po\""), std::string::npos)
        << reply.body;
}

} // namespace
} // namespace vorn
