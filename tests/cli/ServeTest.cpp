// `vorn-share serve` run as a child process and reached over loopback, the way a small
// Linux box beside the Apple II runs it.

#include "server/ShareServer.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/RunVornShare.h"
#include "support/ServeProcess.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::ServeProcess;

class ServeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.write("lib/Games/Star Run.po", test::ProDosBytes(1600).volume("STAR.RUN").bytes());
        m_dir.mkdir("config");
    }
    std::string lib() const { return (m_dir / "lib").string(); }

    test::TempDir m_dir;
};

TEST_F(ServeTest, SharesUntilTerminated) {
    ServeProcess serve({"serve", lib(), "--port", "0", "--no-advertise"}, m_dir / "config");
    const std::string intro = "Image Source URL for the card: http://";
    ASSERT_TRUE(serve.waitFor(intro) && serve.waitFor("/\n")) << serve.text();
    const auto start = serve.text().find(intro);
    const std::string url = serve.text().substr(start, serve.text().find("/\n", start) - start);
    const std::string port = url.substr(url.rfind(':') + 1);
    ASSERT_GT(std::atoi(port.c_str()), 0) << serve.text();

    test::HttpClient client(std::uint16_t(std::atoi(port.c_str())));
    const auto reply =
        client.ask("GET /vorn-volumes.json HTTP/1.1\r\nHost: box:" + port + "\r\n\r\n");
    EXPECT_NE(reply.body.find("\"url\": \"http://box:" + port + "/Games/Star%20Run.po\""),
              std::string::npos)
        << "no catalog from the port the tool named: " << reply.head << reply.body;
    EXPECT_TRUE(serve.waitFor("  catalog page 1\n")) << serve.text();

    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
    EXPECT_NE(serve.text().find("  share up on port " + port + "\n"), std::string::npos)
        << serve.text();
}

TEST_F(ServeTest, PortTakenOrFolderMissing) {
    test::IdleConverters converters;
    ShareServer holder(m_dir / "lib", false, false, "Holder", std::nullopt, converters.get());
    holder.start(0);
    const std::string port = std::to_string(holder.status().port);
    ServeProcess taken({"serve", lib(), "--port", port, "--no-advertise"}, m_dir / "config");
    EXPECT_EQ(taken.exitStatus(), 1);
    EXPECT_TRUE(taken.text().starts_with("vorn-share: cannot listen on port " + port + ": "))
        << taken.text();
    EXPECT_EQ(std::count(taken.text().begin(), taken.text().end(), '\n'), 1) << taken.text();

    ServeProcess missing({"serve", lib() + "/nowhere", "--no-advertise"}, m_dir / "config");
    EXPECT_EQ(missing.exitStatus(), 2);
    EXPECT_EQ(std::count(missing.text().begin(), missing.text().end(), '\n'), 1) << missing.text();
}

// The categories and the writable flag stored by another program (here `vorn-share
// categories` and `config`) reach a running share at once, with a line in its log.
TEST_F(ServeTest, FollowsStoredCategoriesAndWritableWithoutARestart) {
    m_dir.write("lib/Utils/Copy.po", test::ProDosBytes(280).volume("COPY").bytes());
    ServeProcess serve({"serve", lib(), "--port", "0", "--no-advertise"}, m_dir / "config");
    ASSERT_TRUE(serve.waitFor("share up on port ") && serve.waitFor("\n")) << serve.text();
    const std::string shown = serve.text().substr(serve.text().find("share up on port ") + 17);
    test::HttpClient client(std::uint16_t(std::atoi(shown.c_str())));
    const auto ask = [&](const std::string& head) {
        return client.ask(head + " HTTP/1.1\r\nHost: box\r\n\r\n");
    };
    ASSERT_NE(ask("GET /vorn-your-hub.json").body.find("\"cat\": \"Utils\""), std::string::npos);

    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    const test::Outcome removed =
        test::vornShare({"categories", "--library", lib(), "remove", "Utils"});
    const test::Outcome readOnly = test::vornShare({"config", "set", "writable", "false"});
    unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(removed.status, 0) << removed.err;
    ASSERT_EQ(readOnly.status, 0) << readOnly.err;
    EXPECT_TRUE(serve.waitFor("  stored settings changed: categories, writable off\n") ||
                (serve.text().find("changed: categories") != std::string::npos &&
                 serve.waitFor("changed: writable off")))
        << serve.text();
    EXPECT_TRUE(serve.waitFor("  rescan: ")) << serve.text();
    EXPECT_EQ(ask("GET /vorn-your-hub.json").body.find("Utils"), std::string::npos)
        << "the card still lists the removed category";
    EXPECT_NE(client.ask("GET /Utils/Copy.po HTTP/1.1\r\nHost: box\r\nRange: bytes=0-0\r\n\r\n")
                  .head.find("X-Vorn-Writable: 0"),
              std::string::npos)
        << "the share still says it is writable";
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
}

// The blocked and ignored standard signals of a running process once it runs `name`.
std::string standardSignals(pid_t pid, const std::string& name) {
    std::string status;
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(20ms)) {
        status = test::slurp("/proc/" + std::to_string(pid) + "/status");
        if (status.starts_with("Name:\t" + name + "\n")) {
            break;
        }
    }
    return test::standardSignals(status);
}

// A dozen MP3s wait behind a converter that never ends. SIGTERM or SIGINT still ends the
// share at once with status 0, and the converter with it; it started with no signal
// blocked or ignored although `serve` blocks SIGINT and SIGTERM in all its threads.
TEST_F(ServeTest, StopsCleanlyWhileConversionsWait) {
    for (int i = 1; i <= 12; ++i) {
        m_dir.write("lib/Music/Song " + std::to_string(i) + ".mp3", "not really an mp3");
    }
    const auto bin = m_dir / "bin";
    test::writeScript(bin / "ffmpeg", "echo $$ >> \"${0%/*}/started\"; exec sleep 600");
    for (const int signal : {SIGTERM, SIGINT}) {
        std::filesystem::remove(bin / "started");
        ServeProcess serve({"serve", lib(), "--port", "0", "--no-advertise"}, m_dir / "config",
                           bin.string() + ":/usr/bin:/bin");
        for (int i = 0; i < 100 && !std::filesystem::exists(bin / "started"); ++i) {
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(serve.waitFor("share up on port")) << serve.text();
        const pid_t converter = std::atoi(test::slurp(bin / "started").c_str());
        ASSERT_GT(converter, 0) << "no conversion started";
        EXPECT_EQ(standardSignals(converter, "sleep"), "SigBlk 00000000, SigIgn 00000000");

        serve.signal(signal);
        const std::optional<int> status = serve.exitStatus();
        const bool converterLeft = kill(converter, 0) == 0;
        kill(converter, SIGKILL); // whatever happened, leave nothing behind
        EXPECT_EQ(status, 0) << "signal " << signal << ":\n" << serve.text();
        EXPECT_FALSE(converterLeft) << "the converter outlived vorn-share";
        const std::string starts = test::slurp(bin / "started");
        EXPECT_EQ(std::count(starts.begin(), starts.end(), '\n'), 1)
            << "queued conversions started during the shutdown";
    }
}

// Conversions that finish, a dozen queued: the conversion threads must not go on through
// exit(), which crashed the program once the libraries they use were torn down.
TEST_F(ServeTest, StopsCleanlyWhileConversionsRun) {
    for (int i = 1; i <= 12; ++i) {
        m_dir.write("lib/Music/Song " + std::to_string(i) + ".mp3", "not really an mp3");
    }
    const auto bin = m_dir / "bin";
    test::writeScript(bin / "ffmpeg", "sleep 0.2; for out; do :; done; printf xyz > \"$out\"");
    ServeProcess serve({"serve", lib(), "--port", "0", "--no-advertise"}, m_dir / "config",
                       bin.string() + ":/usr/bin:/bin");
    ASSERT_TRUE(serve.waitFor("transcode done: 1 track(s) ready")) << serve.text();
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
    EXPECT_EQ(serve.text().find("transcode done: 12"), std::string::npos)
        << "the queued conversions ran on after the signal";
}

} // namespace
} // namespace vorn
