// Converters run as children of a server that holds sockets and blocks signals: what a
// child may inherit from that, and how it is ended when it will not end by itself.

#include "platform/ChildProcess.h"

#include "platform/CancelFlag.h"
#include "scan/LibraryScan.h"
#include "server/ShareServer.h"
#include "support/Emulation.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <thread>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using End = ChildProcess::Outcome::End;

// The descriptors listed by `ls -l /proc/self/fd`, with their targets.
std::map<int, std::string> listedDescriptors(const std::string& listing) {
    std::map<int, std::string> found;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        const auto arrow = line.find(" -> ");
        if (arrow != std::string::npos) {
            found[std::atoi(line.c_str() + line.rfind(' ', arrow - 1) + 1)] =
                line.substr(arrow + 4);
        }
    }
    return found;
}

TEST(ChildProcessTest, ChildGetsNoDescriptorOfOurs) {
    test::TempDir dir;
    test::IdleConverters converters;
    ShareServer server(LibraryScan::run(converters.get(), dir.mkdir("lib"), false), false,
                       "Descriptors", std::nullopt, converters.get());
    server.start(0);
    test::HttpClient client(server.status().port);
    ASSERT_EQ(client.ask("GET / HTTP/1.1\r\nHost: share\r\n\r\n").status, 200);
    int sockets = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        sockets += std::filesystem::read_symlink(entry.path(), ec).string().starts_with("socket:");
    }
    ASSERT_GE(sockets, 3) << "the listener, the accepted connection and the client";
    const int stray = open("/dev/null", O_RDONLY); // without close-on-exec, as libraries do

    const auto list = test::writeScript(dir / "bin/list", "exec ls -l /proc/self/fd > \"$1\"");
    EXPECT_EQ(ChildProcess::run(list.string(), {(dir / "fds").string()}), 0);
    close(stray);
    std::map<int, std::string> fds = listedDescriptors(test::slurp(dir / "fds"));
    EXPECT_TRUE(fds[3].starts_with("/proc/")) << "3 should be ls's own look at the folder";
    fds.erase(3);
    EXPECT_EQ(fds, (std::map<int, std::string>{
                       {0, "/dev/null"}, {1, (dir / "fds").string()}, {2, "/dev/null"}}))
        << test::slurp(dir / "fds");
}

TEST(ChildProcessTest, ChildStartsWithNoSignalBlockedOrIgnored) {
    test::TempDir dir;
    const auto record =
        test::writeScript(dir / "bin/record", "exec grep '^Sig[BI]' /proc/self/status > \"$1\"");
    sigset_t blocked, old;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &old); // as `serve` does in every thread
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &previous);
    const auto status = ChildProcess::run(record.string(), {(dir / "signals").string()});
    sigaction(SIGHUP, &previous, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::standardSignals(test::slurp(dir / "signals")),
              "SigBlk 00000000, SigIgn 00000000");
}

// A child that ends by itself reports how; one that ignores SIGTERM is killed a moment
// after its limit, together with what it started.
TEST(ChildProcessTest, LimitEndsAChildThatIgnoresTermination) {
    test::TempDir dir;
    const auto script = test::writeScript(dir / "bin/child", "eval \"$1\"");
    const auto run = [&](const std::string& body, std::chrono::milliseconds limit) {
        return ChildProcess::run(script.string(), {body}, limit, nullptr);
    };
    EXPECT_EQ(run("exit 7", 5s), (ChildProcess::Outcome{End::exited, 7}));
    EXPECT_EQ(run("kill -9 $$", 5s), (ChildProcess::Outcome{End::signalled, 9}));
    if (!test::emulated()) {
        EXPECT_EQ(ChildProcess::run((dir / "bin/none").string(), {}, 5s, nullptr), std::nullopt);
    }

    const auto sleeper = dir / "sleeper";
    const auto start = Clock::now();
    EXPECT_EQ(run("trap '' TERM; sleep 30 & echo $! > " + sleeper.string() + "; wait", 200ms),
              (ChildProcess::Outcome{End::timedOut, 0}));
    const auto took = Clock::now() - start;
    EXPECT_GT(took, 900ms) << "killed without a moment's grace";
    EXPECT_LT(took, 15s) << "waited for the 30 s sleep";
    const pid_t pid = std::atoi(test::slurp(sleeper).c_str());
    EXPECT_TRUE(pid > 0 && test::endsSoon(pid)) << "what the child started runs on";
}

TEST(ChildProcessTest, CancelEndsAChildAtOnceAndThenStartsNone) {
    test::TempDir dir;
    const auto script =
        test::writeScript(dir / "bin/child", "echo $$ >> \"${0%/*}/started\"; exec sleep 30");
    CancelFlag cancel;
    std::thread raiser([&] {
        std::this_thread::sleep_for(200ms);
        cancel.raise();
    });
    const auto start = Clock::now();
    EXPECT_EQ(ChildProcess::run(script.string(), {}, 60s, &cancel),
              (ChildProcess::Outcome{End::cancelled, 0}));
    EXPECT_LT(Clock::now() - start, 15s) << "not ended at the cancel, but after the 30 s sleep";
    raiser.join();
    EXPECT_EQ(ChildProcess::run(script.string(), {}, 60s, &cancel),
              (ChildProcess::Outcome{End::cancelled, 0}));
    const std::string started = test::slurp(dir / "bin/started");
    EXPECT_EQ(std::count(started.begin(), started.end(), '\n'), 1) << "started after the cancel";
}

} // namespace
} // namespace vorn
