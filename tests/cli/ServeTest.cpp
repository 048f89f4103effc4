// `vorn-share serve` run as a child process and reached over loopback, the way a small
// Linux box beside the Apple II runs it.

#include "server/ShareServer.h"
#include "support/HttpClient.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A running vorn-share with its own preferences folder, its output read through one
// pipe with every wait bounded; killed if a test leaves it running.
class ServeProcess {
public:
    ServeProcess(std::vector<std::string> args, const std::filesystem::path& config) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        args.insert(args.begin(), VORN_SHARE_PATH);
        std::vector<std::string> env{"XDG_CONFIG_HOME=" + config.string(), "LC_ALL=C.UTF-8"};
        std::vector<char*> argv, envp;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        for (std::string& entry : env) {
            envp.push_back(entry.data());
        }
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawn(&m_pid, VORN_SHARE_PATH, &actions, nullptr, argv.data(), envp.data()) !=
            0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
    }
    ~ServeProcess() {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
    }

    /// Reads the output until it holds `text` (true) or 5 s have passed.
    bool waitFor(std::string_view text) {
        const auto deadline = Clock::now() + 5s;
        while (m_text.find(text) == std::string::npos) {
            if (!readMore(deadline)) {
                return false;
            }
        }
        return true;
    }
    /// The exit status within 5 s, all output read; absent while it runs on.
    std::optional<int> exitStatus() {
        const auto deadline = Clock::now() + 5s;
        while (readMore(deadline)) {
        }
        for (int status = 0; m_pid > 0 && !m_status && Clock::now() < deadline + 1s;) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return m_status;
    }
    void signal(int number) { kill(m_pid, number); }
    const std::string& text() const { return m_text; }

private:
    // False at the end of the output or the deadline.
    bool readMore(Clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{m_out, POLLIN, 0};
        char buffer[4096];
        ssize_t n = 0;
        if (left.count() > 0 && poll(&entry, 1, int(left.count())) > 0 &&
            (n = read(m_out, buffer, sizeof buffer)) > 0) {
            m_text.append(buffer, std::size_t(n));
            return true;
        }
        return false;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_text;
    std::optional<int> m_status;
};

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
    EXPECT_EQ(reply.status, 200) << "no answer from the port the tool named";
    EXPECT_NE(reply.body.find("\"url\": \"http://box:" + port + "/Games/Star%20Run.po\""),
              std::string::npos)
        << reply.body;
    EXPECT_TRUE(serve.waitFor("  catalog page 1\n")) << serve.text();

    serve.signal(SIGTERM);
    EXPECT_EQ(serve.exitStatus(), 0) << serve.text();
    EXPECT_NE(serve.text().find("  share up on port " + port + "\n"), std::string::npos)
        << serve.text();
}

TEST_F(ServeTest, PortTakenOrFolderMissing) {
    ShareServer holder(m_dir / "lib", false, false, "Holder", std::nullopt);
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

} // namespace
} // namespace vorn
