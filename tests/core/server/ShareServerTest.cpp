// The share over real loopback connections: the server runs on its own thread, the
// tests talk to it through sockets as the card would. The bytes of each answer are pinned
// by the tests of DiskIO, Http and Routes; these check what only a connection shows.

#include "server/ShareServer.h"

#include "scan/LibraryScan.h"
#include "support/Eventually.h"
#include "support/HttpClient.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <thread>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using test::get;
using test::HttpClient;
using test::pattern;
using test::put;
using test::range;
using test::slurp;

constexpr const char* kImage = "/Games/Star%20Run.po";

std::size_t linesWith(ShareServer& server, std::string_view text) {
    const auto lines = server.status().recentLines.all();
    return std::size_t(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

// A write lease on a library file: whoever opens the file then waits inside open() until
// the lease is let go, so a scan probing it is held there for as long as a test wants.
class HeldFile {
public:
    explicit HeldFile(const std::filesystem::path& file)
        : m_fd(open(file.c_str(), O_RDWR | O_CLOEXEC)),
          m_oldSigio(std::signal(SIGIO, SIG_IGN)) { // the kernel signals the holder
        m_held = m_fd >= 0 && fcntl(m_fd, F_SETLEASE, F_WRLCK) == 0;
    }
    ~HeldFile() {
        release();
        std::signal(SIGIO, m_oldSigio);
    }
    bool held() const { return m_held; }
    /// True once someone waits to open the file, within 5 s.
    bool awaitOpener() const {
        return test::eventually([&] { return fcntl(m_fd, F_GETLEASE) != F_WRLCK; });
    }
    void release() {
        if (m_fd >= 0) {
            fcntl(m_fd, F_SETLEASE, F_UNLCK);
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
    void (*m_oldSigio)(int);
    bool m_held = false;
};

// Star Run (800 KB), Big (3 MB) and an empty file in the library; secret.po beside it,
// outside, with a link to it from inside. The server listens on a free port, unadvertised.
class ShareServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_image = pattern(819200, 1);
        m_dir.write("lib/Games/Star Run.po", m_image);
        m_big = m_dir.write("lib/Big.po", pattern(3 << 20, 2));
        m_dir.write("lib/Empty.po", "");
        m_dir.link("lib/Link.po", m_dir.write("secret.po", "secret"));
        m_dir.link("lib/Inside.po", m_big);
        m_server.emplace(LibraryScan::run(m_converters.get(), m_dir / "lib", true), false,
                         "Vorn Test", std::nullopt, m_converters.get());
        m_server->start(0);
        m_port = m_server->status().port;
        ASSERT_NE(m_port, 0) << "the listener should report the port it got";
    }
    std::string image() const { return slurp(m_dir / "lib/Games/Star Run.po"); }

    test::TempDir m_dir;
    test::IdleConverters m_converters;
    std::string m_image;
    std::filesystem::path m_big;
    std::optional<ShareServer> m_server;
    std::uint16_t m_port = 0;
};

TEST_F(ShareServerTest, HeadMayGrowTo256KiB) {
    std::string head = "GET /vorn-volumes.json HTTP/1.1\r\nX-Pad: ";
    head.resize(262144, 'a');
    HttpClient edge(m_port);
    ASSERT_TRUE(edge.send(head));
    EXPECT_TRUE(edge.quiet(400ms)) << "262144 bytes without a blank line must not end it";
    EXPECT_EQ(edge.ask("\r\n\r\n").status, 200) << "the connection was dropped at the limit";

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

    HttpClient leaving(m_port);
    ASSERT_TRUE(leaving.send(head + "abcd"));
    leaving.shutdownWrite();
    EXPECT_TRUE(leaving.closedSilently()) << "a peer that stops sending gets no answer";
    EXPECT_TRUE(image() == expected) << "a partial body was written, or a whole one was not";

    const std::string large = pattern(300 * 1024, 9); // many reads' worth
    ASSERT_EQ(client.ask(put(kImage, large, "Content-Range: bytes 32768-/819200\r\n")).status, 200);
    expected.replace(32768, large.size(), large);
    EXPECT_TRUE(image() == expected) << "a 300 KB body was not written whole";

    HttpClient done(m_port);
    ASSERT_TRUE(done.send(get("/vorn-volumes.json")));
    done.shutdownWrite();
    EXPECT_TRUE(done.read()) << "a whole request followed by the end of sending gets its answer";
    EXPECT_TRUE(done.closedSilently());
    EXPECT_EQ(m_server->status().requests, 3u);
}

// Large answers go out piece by piece from the file; HEAD answers and refused requests
// leave nothing on the connection for the next answer to trip over.
TEST_F(ShareServerTest, AnswersOverTheWire) {
    HttpClient client(m_port);
    EXPECT_TRUE(client.ask(get(kImage, "Range: bytes=1024-\r\n")).body == m_image.substr(1024));
    const std::string big = slurp(m_big);
    EXPECT_TRUE(client.ask(get("/Big.po")).body == big) << "3 MB body differs";

    ASSERT_TRUE(client.send("HEAD " + std::string(kImage) + " HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.read(true).value_or(test::Reply{}).header("Content-Length"), "819200");
    EXPECT_EQ(client.ask(get(kImage, "Range: bytes=-0\r\n")).status, 416)
        << "HEAD must leave no body bytes behind";
    EXPECT_EQ(client.ask("POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi").status, 405)
        << "the connection must survive a 416";
    EXPECT_EQ(client.ask(get("/Empty.po")).status, 200) << "a refused body was read as a request";

    // Readers that leave in the middle of a transfer cost the server only their connection.
    for (int i = 0; i < 3; ++i) {
        HttpClient leaving(m_port);
        ASSERT_TRUE(leaving.send(get("/Big.po")));
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(client.ask(get("/Big.po", range(0, 99))).body, big.substr(0, 100));
}

TEST_F(ShareServerTest, NothingOutsideTheLibraryIsReadOrWritten) {
    HttpClient client(m_port);
    for (const char* target :
         {"/../secret.po", "/%2E%2E/secret.po", "/%252E%252E/secret.po", "/Games/../../secret.po",
          "/Games%2F..%2F..%2Fsecret.po", "/%5C..%5Csecret.po", "/Games/..%5C..%5Csecret.po",
          "/Link.po", "//Link.po", "/Games/%2e%2e/Link.po"}) {
        EXPECT_EQ(client.ask(get(target)).status, 404) << "GET " << target;
        EXPECT_EQ(client.ask(put(target, "hacked")).status, 404) << "PUT " << target;
    }
    EXPECT_EQ(slurp(m_dir / "secret.po"), "secret");
    EXPECT_EQ(m_server->status().bytesServed, 0u);
    EXPECT_EQ(client.ask(get("/Inside.po")).status, 200)
        << "a link that stays inside the library is served";
}

// Links inside the library are switched back and forth between an image inside and a
// file outside while requests go. However a switch falls between a request's steps,
// nothing outside is read or written. Run with the kernel's lookup here, and again with
// openat2 refused (server-without-openat2), where the piece-by-piece walk stands in for it.
TEST_F(ShareServerTest, LinksSwitchedDuringRequestsNeverLeadOutside) {
    const std::string inside(4096, 'i'), secret(4096, 's');
    m_dir.write("lib/Real/Disk.po", inside);
    const std::filesystem::path outside = m_dir.write("outside/Disk.po", secret);
    const std::filesystem::path flip = m_dir.link("lib/Flip.po", "Real/Disk.po");
    const std::filesystem::path flipDir = m_dir.link("lib/FlipDir", "Real");
    m_server->rescan(); // Flip.po is listed while it points inside
    ASSERT_TRUE(m_server->currentDiskCatalog().lists("Flip.po"));

    const auto relink = [](const std::filesystem::path& link, const std::filesystem::path& to) {
        const std::filesystem::path next = link.string() + ".next";
        std::filesystem::remove(next);
        std::filesystem::create_symlink(to, next);
        std::filesystem::rename(next, link); // atomic: the link always exists
    };
    std::atomic<bool> done{false};
    std::thread switcher([&] {
        for (int i = 0; !done; ++i) {
            relink(flip, i % 2 ? outside : std::filesystem::path("Real/Disk.po"));
            relink(flipDir, i % 2 ? outside.parent_path() : std::filesystem::path("Real"));
        }
    });
    int leaks = 0, served = 0, written = 0;
    HttpClient client(m_port);
    // A thousand rounds, cut short on a slow machine (sanitizers) to stay within the
    // suite's time.
    const auto end = std::chrono::steady_clock::now() + 3s;
    for (int i = 1; i <= 1000 && std::chrono::steady_clock::now() < end; ++i) {
        const std::string slashes(std::size_t(i), '/'); // a new path every time: no cache
        for (const char* name : {"Flip.po", "FlipDir/Disk.po"}) {
            const test::Reply read = client.ask(get(slashes + name, range(0, 511)));
            leaks += read.body == secret.substr(0, 512) ? 1 : 0;
            served += read.body == inside.substr(0, 512) ? 1 : 0;
        }
        const test::Reply write = client.ask(put(slashes + "Flip.po", std::string(512, 'w'),
                                                 "Content-Range: bytes 512-1023/4096\r\n"));
        written += write.status == 200 ? 1 : 0;
        if (write.status == 0) {
            ADD_FAILURE() << "no answer to write " << i; // the switcher must still stop
            break;
        }
    }
    done = true;
    switcher.join();
    EXPECT_EQ(leaks, 0) << "reads of the file outside";
    EXPECT_TRUE(slurp(outside) == secret) << "the file outside was written";
    EXPECT_GT(served, 0) << "no read reached the image inside";
    EXPECT_GT(written, 0) << "no write reached the image inside";
}

// The most memory this process held since `resetPeak`, and what it holds now.
std::uint64_t memoryKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) {
            return std::stoull(line.substr(std::strlen(field)));
        }
    }
    return 0;
}
bool resetPeak() {
    return bool(std::ofstream("/proc/self/clear_refs") << "5");
}

// A refused write is answered from its head: its body is skipped as it arrives, never
// held, and never taken for the next request.
TEST_F(ShareServerTest, RefusedWritesAreDecidedBeforeTheirBody) {
    constexpr std::uint64_t kBody = 64ull << 20;
    const std::string piece(65536, 'x');
    const auto refused = [&](const std::string& target, const std::string& headers = "") {
        HttpClient client(m_port);
        EXPECT_TRUE(client.send("PUT " + target + " HTTP/1.1\r\nContent-Length: " +
                                std::to_string(kBody) + "\r\n" + headers + "\r\n"));
        for (std::uint64_t sent = 0; sent < kBody && client.send(piece); sent += piece.size()) {
        }
        const int status = client.read().value_or(test::Reply{}).status;
        EXPECT_EQ(client.ask(get("/Empty.po")).status, 200) << target << ": body read as a request";
        return status;
    };
    ASSERT_TRUE(resetPeak()) << "cannot reset the peak memory figure";
    const std::uint64_t before = memoryKiB("VmRSS:");
    EXPECT_EQ(refused(kImage, "Content-Range: bytes 0-/819200\r\n"), 416) << "past the end";
    EXPECT_EQ(refused("/Games/notes.txt"), 404);
    m_server->rescan(std::nullopt, false);
    EXPECT_EQ(refused("/nothing.po"), 403);
    const std::uint64_t grown = memoryKiB("VmHWM:") - before;
    EXPECT_LT(grown, 16u << 10) << "the server held a refused body: it grew by " << grown << " KiB";
    EXPECT_TRUE(image() == m_image);
}

// A body the share cannot frame leaves the connection's next bytes unknown: the request is
// refused, nothing is written, and the connection ends. (Every rule is in the framer's
// tests; here one of each answer.)
TEST_F(ShareServerTest, UnframableBodiesAreRefusedAndEndTheConnection) {
    const std::string block(512, 'Z');
    const std::vector<std::pair<std::string, int>> cases{
        {"Transfer-Encoding: chunked\r\n\r\n200\r\n" + block + "\r\n0\r\n\r\n", 411},
        {"Content-Length: 12\r\nContent-Length: 512\r\n\r\n" + block, 400},
        {"Host: x\r\n\r\n" + block, 411},
    };
    for (const auto& [rest, code] : cases) {
        HttpClient client(m_port);
        const test::Reply reply = client.ask("PUT " + std::string(kImage) + " HTTP/1.1\r\n" + rest);
        EXPECT_EQ(reply.status, code) << rest.substr(0, 40);
        EXPECT_EQ(reply.header("Connection"), "close") << rest.substr(0, 40);
        EXPECT_TRUE(client.closedSilently()) << rest.substr(0, 40);
    }
    EXPECT_TRUE(image() == m_image) << "an unframable body was written";
}

// Requests sent together are all answered, in order; HTTP/1.0 closes after its answer
// unless it asked to stay; a head with line ends of LF alone is answered, not awaited.
TEST_F(ShareServerTest, PipelinedRequestsAreAnsweredInOrder) {
    HttpClient client(m_port);
    ASSERT_TRUE(client.send(get(kImage, range(0, 3)) +
                            test::putRequest(kImage, 0, std::string(512, 'P'), 819200) +
                            get(kImage, range(0, 3))));
    const auto first = client.read();
    const auto second = client.read();
    const auto third = client.read();
    ASSERT_TRUE(first && second && third) << "a request sent with others went unanswered";
    EXPECT_EQ(first->body, m_image.substr(0, 4));
    EXPECT_EQ(second->status, 200);
    EXPECT_EQ(third->body, "PPPP") << "the read after the write did not see it";

    HttpClient old(m_port);
    EXPECT_EQ(old.ask("GET /vorn-volumes.json HTTP/1.0\r\n\r\n").header("Connection"), "close");
    EXPECT_TRUE(old.closedSilently()) << "an HTTP/1.0 connection was kept open";
    HttpClient kept(m_port);
    const std::string keepAlive =
        "GET /vorn-volumes.json HTTP/1.0\r\nConnection: keep-alive\r\n\r\n";
    EXPECT_EQ(kept.ask(keepAlive).status, 200);
    EXPECT_EQ(kept.ask(keepAlive).status, 200) << "HTTP/1.0 asking to stay was closed";

    HttpClient bare(m_port);
    EXPECT_EQ(bare.ask("GET /vorn-volumes.json HTTP/1.1\nHost: x\n\n").status, 400);
    EXPECT_TRUE(bare.closedSilently());
}

// Bodies are held whole until written, so what they may hold is bounded: one request a
// few megabytes (a larger one is refused from its head), the connections of one address
// together a few more (the others are refused while it holds that much).
TEST_F(ShareServerTest, BodiesHeldAreBoundedPerRequestAndPeer) {
    m_dir.write("lib/Huge.po", pattern(5 << 20, 4));
    m_server->rescan();
    ASSERT_TRUE(m_server->currentDiskCatalog().lists("Huge.po"));
    const std::string body = pattern(4 << 20, 5);
    const std::string head =
        "PUT /Huge.po HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    ASSERT_TRUE(resetPeak()) << "cannot reset the peak memory figure";
    const std::uint64_t before = memoryKiB("VmRSS:");
    std::vector<std::unique_ptr<HttpClient>> clients;
    for (int i = 0; i < 16; ++i) {
        clients.push_back(std::make_unique<HttpClient>(m_port));
        ASSERT_TRUE(clients.back()->send(head) &&
                    clients.back()->send(std::string_view(body).substr(1)))
            << "connection " << i;
    }
    std::map<int, int> answers;
    for (auto& client : clients) {
        ++answers[client->ask(body.substr(0, 1)).status];
    }
    const std::uint64_t grown = memoryKiB("VmHWM:") - before;
    EXPECT_EQ(answers[200] + answers[503], 16) << "other answers than saved or busy";
    EXPECT_GE(answers[503], 12) << "one address held more than two bodies of 4 MiB at once";
    EXPECT_LT(grown, 32u << 10) << "sixteen bodies grew the share by " << grown << " KiB";

    HttpClient large(m_port);
    EXPECT_TRUE(large.send("PUT /Huge.po HTTP/1.1\r\nContent-Length: 4194305\r\n\r\n" + body));
    EXPECT_EQ(large.ask("x").status, 413) << "a body over 4 MiB was taken";
    EXPECT_EQ(large.ask(get("/Empty.po")).status, 200) << "its body was read as a request";
}

// A head that trickles in is ended once it has taken longer than its limit, even though
// it never stalls; a head that comes whole in time is answered. The bytes go on until the
// server ends the connection (a busy machine only makes that later), and no sooner than
// the limit allows.
TEST_F(ShareServerTest, SlowHeadsAreDropped) {
    m_server->setLimits({.headTime = 400ms});
    HttpClient slow(m_port);
    const auto start = std::chrono::steady_clock::now();
    bool open = true;
    for (int i = 0; i < 400 && open; ++i) { // up to 20 s, a byte every 50 ms
        open = slow.send("G") && slow.quiet(50ms);
    }
    EXPECT_FALSE(open) << "a head trickling in for 20 s was never dropped";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms) << "dropped before its limit";
    HttpClient quick(m_port);
    EXPECT_EQ(quick.ask(get("/vorn-volumes.json")).status, 200);
}

// Two cards writing one image damage it; the log says so once, naming both. (One of
// them reaches the share over IPv6 loopback.)
TEST_F(ShareServerTest, TwoCardsWritingOneImageAreWarnedAbout) {
    HttpClient v4(m_port), v6(m_port, AF_INET6);
    if (!v6.connected()) {
        GTEST_SKIP() << "no IPv6 loopback here: every peer has the same address";
    }
    const std::string block =
        put(kImage, std::string(512, 'a'), "Content-Range: bytes 0-/819200\r\n");
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(v4.ask(block).status, 200);
        ASSERT_EQ(v6.ask(block).status, 200);
    }
    std::vector<std::string> warnings;
    for (const std::string& line : m_server->status().recentLines.all()) {
        if (line.find("warning") != std::string::npos) {
            warnings.push_back(line.substr(10));
        }
    }
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "warning: two cards writing Games/Star Run.po: 127.0.0.1 and ::1"});
}

TEST_F(ShareServerTest, StatusIsPublishedAfterEveryRequest) {
    std::vector<ShareStatus> seen; // filled on the server's thread, before each answer leaves
    m_server->setOnStatus([&](const ShareStatus& status) { seen.push_back(status); });
    std::optional<HttpClient> client(m_port);
    client->ask(get(kImage, range(0, 511)));
    client->ask(put(kImage, "abc", "Content-Range: bytes 512-514/819200\r\n"));
    client.reset();
    // Counted and published in one step on the server's thread.
    test::eventually([&] { return m_server->status().connectionEnds[EndReason::peerClosed] > 0; });
    // Detaching the callback waits for the server's thread: `seen` is then ours to read.
    m_server->setOnStatus(nullptr);

    ASSERT_EQ(seen.size(), 3u) << "one status per request, and one for the close";
    EXPECT_EQ(seen[0].requests, 1u);
    EXPECT_EQ(seen[2].connectionEnds[EndReason::peerClosed], 1u) << "the close was not published";
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
    EXPECT_EQ(HttpClient(m_port).ask(get("/vorn-volumes.json")).status, 200);
}

TEST_F(ShareServerTest, CategoryChangesAreLogged) {
    const auto lastLine = [&] { return m_server->status().recentLines.all().back().substr(10); };
    m_server->setHub(HubConfig{{{"Games", "Play"}}, false});
    EXPECT_EQ(lastLine(), "your hub: 1 category");
    EXPECT_EQ(m_server->currentHub().cats.at(0).displayLabel(), "Play");
    m_server->setHub(HubConfig{});
    EXPECT_EQ(lastLine(), "your hub: 0 categories");
    m_dir.write("lib/More/x.po", pattern(1024, 4));
    m_server->rescan();
    m_server->setHub(std::nullopt);
    EXPECT_EQ(lastLine(), "your hub: 2 categories") << "the defaults: Games and More";
}

// A large library takes a rescan long enough to hold up the card's reads; here a scan is
// held for as long as the test likes, inside the probe of one image.
TEST_F(ShareServerTest, ReadsGoOnWhileTheLibraryIsRescanned) {
    m_dir.write("lib/Held.po", pattern(143360, 5));
    HeldFile held(m_dir / "lib/Held.po");
    if (!held.held()) {
        GTEST_SKIP() << "no file leases here";
    }
    m_server->rescan();
    ASSERT_TRUE(held.awaitOpener()) << "the rescan never probed Held.po";
    HttpClient client(m_port);
    EXPECT_TRUE(client.ask(get(kImage, range(512, 1023))).body == m_image.substr(512, 512))
        << "a block read waited for the rescan";
    m_dir.write("lib/Later.po", pattern(1024, 6)); // after the held scan's walk
    m_server->rescan();
    m_server->rescan();
    held.release();
    std::vector<std::string> names;
    const DiskCatalog catalog = m_server->currentDiskCatalog(); // images() refers into it
    for (const DiskImage& image : catalog.images()) {
        names.push_back(image.fileName);
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "Later.po"), names.end())
        << "the change after the held scan was never scanned";
    EXPECT_EQ(linesWith(*m_server, "  rescan: "), 2u)
        << "the rescans asked during a scan make exactly one more";
}

// A request that stops half-way (a peer gone mid-request, or one holding descriptors on
// purpose) ends after the stall limit; a connection between requests is never ended.
TEST_F(ShareServerTest, StalledRequestsEndIdleConnectionsStay) {
    m_server->setLimits({.stall = 500ms});
    HttpClient idle(m_port);
    ASSERT_EQ(idle.ask(get("/vorn-volumes.json")).status, 200);
    HttpClient silent(m_port);
    HttpClient body(m_port);
    ASSERT_TRUE(
        body.send("PUT " + std::string(kImage) + " HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123"));
    HttpClient slow(m_port); // a byte every 50 ms: slow, yet never stalled
    for (const char c : get("/vorn-volumes.json")) {
        ASSERT_TRUE(slow.send(std::string(1, c))) << "a slow request was ended";
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(slow.read().value_or(test::Reply{}).status, 200);
    EXPECT_TRUE(body.closedSilently()) << "a half-sent body kept its connection";
    EXPECT_EQ(idle.ask(get("/vorn-volumes.json")).status, 200) << "an idle connection was ended";
    EXPECT_EQ(silent.ask(get("/vorn-volumes.json")).status, 200) << "a new connection was ended";
    EXPECT_TRUE(image() == m_image) << "a stalled PUT wrote";
}

// Every end of a connection is counted under its reason, so a card that keeps losing its
// connection can be told from one that stalls or one that sends too much.
TEST_F(ShareServerTest, ConnectionEndsAreCountedByReason) {
    ConnectionEnds expected;
    const auto counted = [&](EndReason why) { // one more end for `why`, and no other
        expected.count(why);
        if (test::eventually([&] { return m_server->status().connectionEnds == expected; })) {
            return ::testing::AssertionSuccess();
        }
        const ConnectionEnds seen = m_server->status().connectionEnds;
        expected = seen; // the next case is judged on its own
        auto failure = ::testing::AssertionFailure()
                       << "no end counted as \"" << describe(why) << "\" alone; counted by reason:";
        for (std::size_t i = 0; i < endReasonCount; ++i) {
            failure << " " << seen[EndReason(i)];
        }
        return failure;
    };
    std::optional<HttpClient> client(m_port);
    ASSERT_EQ(client->ask(get("/vorn-volumes.json")).status, 200);
    client.reset();
    EXPECT_TRUE(counted(EndReason::peerClosed));

    client.emplace(m_port);
    ASSERT_TRUE(client->send("GET / HTTP/1.1\r\nHost: x"));
    client->shutdownWrite();
    EXPECT_TRUE(counted(EndReason::peerLeftMidRequest));

    client.emplace(m_port);
    ASSERT_TRUE(client->send("GET / HTTP/1.1\r\nX-Pad: " + std::string(262144, 'a')));
    EXPECT_TRUE(counted(EndReason::headTooLarge));

    client.emplace(m_port);
    ASSERT_EQ(client->ask(get("/vorn-volumes.json", "Connection: close\r\n")).status, 200);
    EXPECT_TRUE(counted(EndReason::askedToClose));

    client.emplace(m_port);
    ASSERT_EQ(client->ask(put(kImage, "x", "Transfer-Encoding: chunked\r\n")).status, 411);
    EXPECT_TRUE(counted(EndReason::unframableBody));

    m_server->setLimits({.stall = 200ms});
    client.emplace(m_port);
    ASSERT_TRUE(client->send("GET / HTTP/1.1\r\nHost: x"));
    EXPECT_TRUE(counted(EndReason::stalled));

    client.emplace(m_port);
    ASSERT_EQ(client->ask(get("/vorn-volumes.json")).status, 200);
    m_server->stop();
    EXPECT_TRUE(counted(EndReason::serverStopping));
}

TEST_F(ShareServerTest, OnePeerMayHoldOnlySoManyConnections) {
    m_server->setLimits({.perPeer = 16, .capLoopback = true});
    std::vector<std::unique_ptr<HttpClient>> open;
    for (int i = 0; i < 16; ++i) {
        open.push_back(std::make_unique<HttpClient>(m_port));
        ASSERT_EQ(open.back()->ask(get("/vorn-volumes.json")).status, 200) << "connection " << i;
    }
    EXPECT_TRUE(HttpClient(m_port).closedSilently()) << "the 17th connection was kept";
    EXPECT_TRUE(HttpClient(m_port).closedSilently()) << "the 18th connection was kept";
    EXPECT_EQ(linesWith(*m_server, "  refused connection from 127.0.0.1: 16 already open"), 1u)
        << "one line per peer and minute";
    open.pop_back();
    EXPECT_TRUE(test::eventually([&] { // the server sees the close a moment later
        return HttpClient(m_port).ask(get("/vorn-volumes.json")).status == 200;
    })) << "a place that became free was not given again";
    m_server->setLimits({});
    for (int i = 0; i < 3; ++i) {
        open.push_back(std::make_unique<HttpClient>(m_port));
        EXPECT_EQ(open.back()->ask(get("/vorn-volumes.json")).status, 200)
            << "peers on this machine are not capped by default";
    }
}

// A card switched off never closes its socket: probes must find out that it is gone.
TEST_F(ShareServerTest, AcceptedSocketsNoticeVanishedPeers) {
    HttpClient client(m_port);
    ASSERT_EQ(client.ask(get("/vorn-volumes.json")).status, 200);
    int accepted = -1; // the server's end: a socket of this process on the port, with a peer
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_storage local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) == 0 &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
            ntohs(reinterpret_cast<sockaddr_in6&>(local).sin6_port) == m_port) {
            accepted = fd;
        }
    }
    ASSERT_GE(accepted, 0) << "the accepted socket was not found";
    const auto option = [&](int level, int name) {
        int value = 0;
        socklen_t size = sizeof value;
        return getsockopt(accepted, level, name, &value, &size) == 0 ? value : -1;
    };
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    const int silence = option(IPPROTO_TCP, TCP_KEEPIDLE) +
                        option(IPPROTO_TCP, TCP_KEEPINTVL) * option(IPPROTO_TCP, TCP_KEEPCNT);
    EXPECT_LE(silence, 300) << "a vanished idle peer is noticed after " << silence << " s";
    const int unacknowledged = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
    EXPECT_TRUE(unacknowledged > 0 && unacknowledged <= 300000)
        << "a peer that vanished during an answer is given up after " << unacknowledged << " ms";
}

// The usual soft limit of 1,024 descriptors is soon reached by a share with many cards.
TEST_F(ShareServerTest, StartRaisesTheDescriptorLimit) {
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    const rlimit low{std::min<rlim_t>(256, before.rlim_max), before.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    m_server->stop();
    m_server->start(m_port);
    rlimit after{};
    getrlimit(RLIMIT_NOFILE, &after);
    setrlimit(RLIMIT_NOFILE, &before);
    if (before.rlim_max != RLIM_INFINITY) {
        EXPECT_EQ(after.rlim_cur, before.rlim_max);
    }
    EXPECT_GT(after.rlim_cur, low.rlim_cur);
}

// A handler that throws unwinds the server's thread (here the status receiver, which
// runs inside every handler): the share logs it and answers on.
TEST_F(ShareServerTest, AnExceptionOnTheServersThreadIsLoggedAndTheShareGoesOn) {
    std::atomic<bool> thrown{false};
    m_server->setOnStatus([&thrown](const ShareStatus&) {
        if (!thrown.exchange(true)) {
            throw std::runtime_error("the receiver failed");
        }
    });
    HttpClient(m_port).ask(get("/index.html"));
    ASSERT_TRUE(thrown);
    EXPECT_EQ(HttpClient(m_port).ask(get("/index.html")).status, 200)
        << "the share stopped answering after the exception";
    EXPECT_EQ(linesWith(*m_server, "internal error, the share goes on: the receiver failed"), 1u);
}

} // namespace
} // namespace vorn
