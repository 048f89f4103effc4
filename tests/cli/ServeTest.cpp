// `vorn-share serve` run as a child process and reached over loopback, the way a small
// Linux box beside the Apple II runs it.

#include "platform/Preferences.h"
#include "scan/LibraryScan.h"
#include "server/ShareServer.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/RunVornShare.h"
#include "support/ServeProcess.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

namespace vorn {
namespace {

using namespace std::chrono_literals;
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
    const std::string port = std::to_string(serve.port());
    ASSERT_NE(port, "0") << serve.text();
    EXPECT_TRUE(serve.waitFor("Image Source URL for the card: http://") &&
                serve.waitFor(":" + port + "/\n"))
        << "the URL printed for the card names another port: " << serve.text();

    test::HttpClient client(serve.port());
    const auto reply =
        client.ask("GET /vorn-volumes.json HTTP/1.1\r\nHost: box:" + port + "\r\n\r\n");
    EXPECT_NE(reply.body.find("\"url\": \"http://box:" + port + "/Games/Star%20Run.po\""),
              std::string::npos)
        << "no catalog from the port the tool named: " << reply.head << reply.body;
    EXPECT_TRUE(serve.waitFor("  catalog page 1\n")) << serve.text();

    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
}

TEST_F(ServeTest, PortTakenOrFolderMissing) {
    test::IdleConverters converters;
    ShareServer holder(LibraryScan::run(converters.get(), m_dir / "lib", false), false, "Holder",
                       std::nullopt, converters.get());
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
    test::HttpClient client(serve.port());
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
    EXPECT_EQ(client.ask(test::get("/Utils/Copy.po")).header("X-Vorn-Writable"), "0")
        << "the share still says it is writable";
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
}

// A share stored read-only stays so while its settings file is gone, and once the config
// folder is made again it follows that folder's settings, with a line for each.
TEST_F(ServeTest, KeepsTheLastSettingsWhileTheFileIsGoneAndFollowsANewConfigFolder) {
    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    ASSERT_EQ(test::vornShare({"config", "set", "writable", "false"}).status, 0);
    ServeProcess serve({"serve", lib(), "--port", "0", "--no-advertise"}, m_dir / "config");
    test::HttpClient client(serve.port());
    const auto writable = [&] {
        return client.ask(test::get("/Games/Star%20Run.po")).header("X-Vorn-Writable");
    };
    ASSERT_EQ(writable(), "0");

    std::filesystem::remove_all(m_dir / "config/VornImageManager");
    EXPECT_TRUE(serve.waitFor("stored settings not read, the last ones stay: ")) << serve.text();
    EXPECT_EQ(writable(), "0") << "a share stored read-only turned writable";

    const test::Outcome set = test::vornShare({"config", "set", "writable", "true"});
    unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_TRUE(serve.waitFor("stored settings changed: writable on")) << serve.text();
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
}

// The library folder deleted and made again (as a stick put back is a new folder at the
// same path), then renamed away: each is noticed and logged, and only the folder at the
// path now is served, never the tree that left it.
TEST_F(ServeTest, FollowsTheLibraryFolderReplacedOrRenamed) {
    ServeProcess serve({"serve", lib(), "--port", "0", "--no-advertise"}, m_dir / "config");
    test::HttpClient client(serve.port());
    ASSERT_EQ(client.ask(test::get("/Games/Star%20Run.po")).status, 200);

    std::filesystem::remove_all(m_dir / "lib");
    m_dir.write("lib/New.po", test::ProDosBytes(280).volume("NEW").bytes());
    EXPECT_TRUE(serve.waitFor("library folder replaced: " + lib() + "\n")) << serve.text();
    EXPECT_TRUE(serve.waitFor("rescan: 1 disk image(s)")) << serve.text();
    EXPECT_EQ(client.ask(test::get("/New.po")).status, 200);
    EXPECT_EQ(client.ask(test::get("/Games/Star%20Run.po")).status, 404);

    const std::size_t before = serve.text().size();
    std::filesystem::rename(m_dir / "lib", m_dir / "moved");
    EXPECT_TRUE(serve.waitFor("library folder gone: " + lib() + "\n", before)) << serve.text();
    EXPECT_EQ(client.ask(test::get("/New.po")).status, 404)
        << "the renamed folder is still served from its new place";
    std::filesystem::rename(m_dir / "moved", m_dir / "lib");
    EXPECT_TRUE(serve.waitFor("library folder back: " + lib() + "\n", before)) << serve.text();
    EXPECT_EQ(client.ask(test::get("/New.po")).status, 200);
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
}

// A file system mounted over the library's path (a stick put back) sends no inotify event:
// the share notices it all the same, and serves what the mount holds until it is gone.
// Mounting needs a mount namespace of the test's own (root); elsewhere the test is skipped.
TEST_F(ServeTest, FollowsAFileSystemMountedOverTheLibrary) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "no mount namespace of the test's own: " << std::strerror(errno);
    }
    ServeProcess serve({"serve", lib(), "--port", "0", "--no-advertise"}, m_dir / "config");
    test::HttpClient client(serve.port());
    ASSERT_TRUE(serve.waitFor("share up on port")) << serve.text();
    ASSERT_EQ(mount("vorn-test", lib().c_str(), "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    m_dir.write("lib/Stick.po", test::ProDosBytes(280).volume("STICK").bytes());
    EXPECT_TRUE(serve.waitFor("library folder replaced: " + lib() + "\n")) << serve.text();
    EXPECT_TRUE(serve.waitFor("rescan: 1 disk image(s)")) << serve.text();
    EXPECT_EQ(client.ask(test::get("/Stick.po")).status, 200);

    const std::size_t before = serve.text().size();
    ASSERT_EQ(umount2(lib().c_str(), MNT_DETACH), 0) << std::strerror(errno);
    EXPECT_TRUE(serve.waitFor("library folder replaced: " + lib() + "\n", before)) << serve.text();
    EXPECT_TRUE(serve.waitFor("rescan: 1 disk image(s)", before)) << serve.text();
    EXPECT_EQ(client.ask(test::get("/Stick.po")).status, 404) << "the pulled stick is still served";
    EXPECT_EQ(client.ask(test::get("/Games/Star%20Run.po")).status, 200);
}

// A dozen MP3s wait for conversion, three converting at once. SIGTERM or SIGINT still
// ends the share at once with status 0: the converters that never end go with it, leaving
// no partial file, and no queued one starts; conversions that do finish must not go on
// through exit(), which crashed the program once the libraries they use were torn down.
TEST_F(ServeTest, StopsCleanlyWhileConversionsWaitOrRun) {
    for (int i = 1; i <= 12; ++i) {
        m_dir.write("lib/Music/Song " + std::to_string(i) + ".mp3", "not really an mp3");
    }
    ASSERT_TRUE(Preferences(m_dir / "config/VornImageManager/preferences.json")
                    .set("conversionJobs", std::int64_t(3)));
    const auto bin = m_dir / "bin";
    const auto serve = [&](const std::string& ffmpeg) {
        test::writeScript(bin / "ffmpeg", ffmpeg);
        return std::make_unique<ServeProcess>(
            std::vector<std::string>{"serve", lib(), "--port", "0", "--no-advertise"},
            m_dir / "config", bin.string() + ":/usr/bin:/bin");
    };
    const auto converters = [&] {
        std::vector<pid_t> pids;
        std::ifstream started(bin / "started");
        for (pid_t pid = 0; started >> pid;) {
            pids.push_back(pid);
        }
        return pids;
    };
    for (const int signal : {SIGTERM, SIGINT}) {
        std::filesystem::remove(bin / "started");
        const auto hung = serve("echo $$ >> \"${0%/*}/started\"; for out; do :; done\n"
                                "printf x > \"$out\"; exec sleep 600");
        test::eventually([&] { return converters().size() >= 3; }, 20s);
        ASSERT_TRUE(hung->waitFor("share up on port")) << hung->text();
        ASSERT_EQ(converters().size(), 3u) << "three conversions did not start side by side";

        hung->signal(signal);
        const std::optional<int> status = hung->exitStatus();
        int left = 0;
        for (const pid_t converter : converters()) {
            left += kill(converter, 0) == 0;
            kill(converter, SIGKILL); // whatever happened, leave nothing behind
        }
        EXPECT_EQ(status, 0) << "signal " << signal << ":\n" << hung->text();
        EXPECT_EQ(left, 0) << "converters outlived vorn-share";
        EXPECT_EQ(converters().size(), 3u) << "queued conversions started during the shutdown";
        EXPECT_EQ(test::partFiles(m_dir / "cache/VornImageManager/pcm"), test::Names{});
    }

    const auto busy = serve("sleep 0.2; for out; do :; done; printf xyz > \"$out\"");
    ASSERT_TRUE(busy->waitFor("transcode done: ")) << busy->text();
    busy->signal(SIGTERM);
    EXPECT_EQ(busy->exitStatus(), 0) << busy->text();
    EXPECT_EQ(busy->text().find("transcode done: 12"), std::string::npos)
        << "the queued conversions ran on after the signal";
}

} // namespace
} // namespace vorn
