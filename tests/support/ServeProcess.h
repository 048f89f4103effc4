#pragma once
// A running `vorn-share serve` as a child process, the way a small Linux box beside the
// Apple II runs it.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vorn::test {

// A running vorn-share with its own preferences, cache and data folders beside each
// other, and nothing else in its environment but `path` when given, its output read
// through one pipe with every wait bounded; killed if a test leaves it running.
class ServeProcess {
public:
    using Clock = std::chrono::steady_clock;

    ServeProcess(const std::vector<std::string>& args, const std::filesystem::path& config,
                 const std::string& path = "") {
        // The shell names its process, which exec hands on to env and then to vorn-share.
        std::string command =
            "echo $$; exec env -i LC_ALL=C.UTF-8 XDG_CONFIG_HOME='" + config.string() +
            "' XDG_CACHE_HOME='" + (config.parent_path() / "cache").string() + "' XDG_DATA_HOME='" +
            (config.parent_path() / "data").string() + "'" +
            (path.empty() ? "" : " PATH='" + path + "'") + " '" + VORN_SHARE_PATH + "'";
        for (const std::string& arg : args) {
            command += " '" + arg + "'";
        }
        m_pipe = popen((command + " 2>&1").c_str(), "re");
        if (m_pipe != nullptr && waitFor("\n")) {
            m_pid = std::atoi(m_text.c_str());
            m_text.erase(0, m_text.find('\n') + 1);
        }
    }
    ~ServeProcess() {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
        }
        if (m_pipe != nullptr) {
            pclose(m_pipe);
        }
    }

    /// Reads the output until it holds `text` after `from` (true) or 5 s have passed.
    bool waitFor(std::string_view text, std::size_t from = 0) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (m_text.find(text, from) == std::string::npos) {
            if (!readMore(deadline)) {
                return false;
            }
        }
        return true;
    }
    /// The port from the line "share up on port N"; 0 when none came within 5 s.
    std::uint16_t port() {
        const std::string_view up = "share up on port ";
        if (!waitFor(up)) {
            return 0;
        }
        const std::size_t at = m_text.find(up) + up.size();
        return waitFor("\n", at) ? std::uint16_t(std::atoi(m_text.c_str() + at)) : 0;
    }
    /// The exit status once the output has ended, within 5 s; absent while it runs on.
    std::optional<int> exitStatus() {
        while (readMore(Clock::now() + std::chrono::seconds(5))) {
        }
        if (m_ended && m_pipe != nullptr) {
            const int status = pclose(m_pipe);
            m_pipe = nullptr;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return m_status;
    }
    void signal(int number) { kill(m_pid, number); }
    const std::string& text() const { return m_text; }

private:
    // False at the end of the output or the deadline.
    bool readMore(Clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{m_pipe != nullptr ? fileno(m_pipe) : -1, POLLIN, 0};
        char buffer[4096];
        if (m_ended || left.count() <= 0 || poll(&entry, 1, int(left.count())) <= 0) {
            return false;
        }
        const ssize_t n = read(entry.fd, buffer, sizeof buffer);
        m_ended = n <= 0;
        m_text.append(buffer, std::size_t(std::max<ssize_t>(n, 0)));
        return !m_ended;
    }

    FILE* m_pipe = nullptr;
    pid_t m_pid = -1;
    bool m_ended = false;
    std::string m_text;
    std::optional<int> m_status;
};

} // namespace vorn::test
