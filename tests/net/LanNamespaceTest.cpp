// The LAN rule met by real peers. A network namespace of the test's own, joined to this
// machine by a veth pair, holds one public documentation address (203.0.113.2) and one
// private address (10.200.0.2); vorn-share serves on this side of the pair and each
// address connects to it once. Needs root for `ip netns`; skipped otherwise.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* publicHost = "203.0.113.1";
constexpr const char* publicPeer = "203.0.113.2";
constexpr const char* lanHost = "10.200.0.1";
constexpr const char* lanPeer = "10.200.0.2";

// A private folder for the library, the server's settings and the children's output,
// removed with everything in it when the test ends.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "vorn-lan-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        m_path = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    fs::path operator/(const std::string& relative) const { return m_path / relative; }

private:
    fs::path m_path;
};

// A 140 KB ProDOS-order volume named ALPHA: the volume directory header is entry 0 of
// block 2, storage type $F in the high nibble and the name's length in the low one.
void writeVolume(const fs::path& file) {
    std::string bytes(280 * 512, '\0');
    bytes[2 * 512 + 4] = char(0xF0 | 5);
    bytes.replace(2 * 512 + 5, 5, "ALPHA");
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A child process whose output goes to files (a pipe could fill up and stall it). Killed
// and reaped when the object goes, so no failed assertion leaves a server running.
class Child {
public:
    Child(std::vector<std::string> args, const fs::path& outFile, const fs::path& errFile,
          const std::vector<std::string>& extraEnv = {}) {
        std::vector<std::string> env(extraEnv);
        for (char** it = environ; *it != nullptr; ++it) {
            env.emplace_back(*it); // the first setting of a name wins in getenv
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        const std::vector<char*> argv = pointers(args);
        const std::vector<char*> envp = pointers(env);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (m_pid > 0 && !wait(0s)) {
            kill(m_pid, SIGTERM);
            if (!wait(3s)) {
                kill(m_pid, SIGKILL);
                wait(std::nullopt);
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pid > 0; }
    /// Waits up to `limit` (for ever when absent) for the exit; true once it has exited.
    bool wait(std::optional<std::chrono::milliseconds> limit) {
        const auto deadline = Clock::now() + limit.value_or(0ms);
        while (m_status < 0) {
            int status = 0;
            const pid_t done = waitpid(m_pid, &status, limit ? WNOHANG : 0);
            if (done == m_pid) {
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (done < 0 || Clock::now() >= deadline) {
                return done < 0;
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return true;
    }
    int status() const { return m_status; }

private:
    static std::vector<char*> pointers(std::vector<std::string>& strings) {
        std::vector<char*> out;
        for (std::string& s : strings) {
            out.push_back(s.data());
        }
        out.push_back(nullptr);
        return out;
    }

    pid_t m_pid = -1;
    int m_status = -1;
};

struct Outcome {
    int status = -1; // -1: did not finish in time
    std::string out;
    std::string err;
};

// Runs a short command to its end, killing it after `limit`.
Outcome run(const Scratch& scratch, std::vector<std::string> args,
            std::chrono::milliseconds limit = 5s) {
    Outcome outcome;
    {
        Child child(std::move(args), scratch / "run.out", scratch / "run.err");
        if (child.started() && child.wait(limit)) {
            outcome.status = child.status();
        }
    }
    outcome.out = slurp(scratch / "run.out");
    outcome.err = slurp(scratch / "run.err");
    return outcome;
}

// One connection from `source` to `target`:`port` with a catalog request. The first
// output line tells how it ended: "complete" (a whole answer by Content-Length),
// "closed" (end of stream), "reset" or "timeout"; the bytes received follow.
constexpr const char* clientScript = R"PY(
import socket, sys
source, target, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
s.settimeout(4)
s.bind((source, 0))
s.connect((target, port))
data, outcome = b"", "closed"
try:
    s.sendall(b"GET /vorn-volumes.json HTTP/1.1\r\nHost: x\r\n\r\n")
    while True:
        chunk = s.recv(65536)
        if not chunk:
            break
        data += chunk
        head, blank, body = data.partition(b"\r\n\r\n")
        lengths = [int(l.split(b":", 1)[1]) for l in head.split(b"\r\n")[1:]
                   if blank and l.lower().startswith(b"content-length:")]
        if lengths and len(body) >= lengths[0]:
            outcome = "complete"
            break
except (ConnectionResetError, BrokenPipeError):
    outcome = "reset"
except socket.timeout:
    outcome = "timeout"
sys.stdout.write(outcome + "\n")
sys.stdout.flush()
sys.stdout.buffer.write(data)
)PY";

// The namespace and the veth pair, made by the test and removed with it. Deleting the
// namespace destroys the end inside it and with it the whole pair.
class Namespace {
public:
    explicit Namespace(const Scratch& scratch) : m_scratch(scratch) {
        const std::string id = std::to_string(getpid());
        m_name = "vorn-lan-" + id;
        m_hostEnd = "vl" + id + "h";
        m_innerEnd = "vl" + id + "n";
    }
    ~Namespace() {
        if (m_created) {
            run(m_scratch, {"ip", "link", "del", m_hostEnd}); // in case the move failed
            run(m_scratch, {"ip", "netns", "del", m_name});
        }
    }
    Namespace(const Namespace&) = delete;
    Namespace& operator=(const Namespace&) = delete;

    /// Creates the namespace; an empty answer means success, else why it failed.
    std::string create() {
        const Outcome added = run(m_scratch, {"ip", "netns", "add", m_name});
        if (added.status != 0) {
            return "`ip netns add` failed (status " + std::to_string(added.status) +
                   "): " + added.err;
        }
        m_created = true;
        return {};
    }
    /// Links both ends with the two /24 networks; the first command that fails, if any.
    std::string wire() {
        const std::string& h = m_hostEnd;
        const std::string& n = m_innerEnd;
        const std::vector<std::vector<std::string>> steps{
            {"ip", "link", "add", h, "type", "veth", "peer", "name", n},
            {"ip", "link", "set", n, "netns", m_name},
            {"ip", "addr", "add", std::string(publicHost) + "/24", "dev", h},
            {"ip", "addr", "add", std::string(lanHost) + "/24", "dev", h},
            {"ip", "link", "set", h, "up"},
            {"ip", "-n", m_name, "addr", "add", std::string(publicPeer) + "/24", "dev", n},
            {"ip", "-n", m_name, "addr", "add", std::string(lanPeer) + "/24", "dev", n},
            {"ip", "-n", m_name, "link", "set", n, "up"},
            {"ip", "-n", m_name, "link", "set", "lo", "up"},
        };
        for (const auto& step : steps) {
            const Outcome outcome = run(m_scratch, step);
            if (outcome.status != 0) {
                std::string text;
                for (const std::string& word : step) {
                    text += word + " ";
                }
                return text + "-> " + outcome.err;
            }
        }
        return {};
    }
    /// A catalog request from `source` inside the namespace to `target`:`port`.
    Outcome connect(const char* source, const char* target, int port) const {
        return run(m_scratch,
                   {"ip", "netns", "exec", m_name, "python3", "-c", clientScript, source, target,
                    std::to_string(port)},
                   8s);
    }

private:
    const Scratch& m_scratch;
    std::string m_name, m_hostEnd, m_innerEnd;
    bool m_created = false;
};

// Polls the server's output until `wanted` turns up or `limit` passes.
bool awaitOutput(const fs::path& file, const std::string& wanted, std::chrono::seconds limit,
                 std::string& seen) {
    const auto deadline = Clock::now() + limit;
    do {
        seen = slurp(file);
        if (seen.find(wanted) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    } while (Clock::now() < deadline);
    return false;
}

std::optional<int> listeningPort(const std::string& output) {
    // "Image Source URL for the card: http://ADDRESS:PORT/"
    const auto url = output.find("http://");
    const auto end = output.find("/\n", url == std::string::npos ? 0 : url);
    if (url == std::string::npos || end == std::string::npos) {
        return std::nullopt;
    }
    const auto colon = output.rfind(':', end);
    return std::stoi(output.substr(colon + 1, end - colon - 1));
}

TEST(LanNamespaceTest, PublicPeerIsDroppedUnansweredAndLanPeerGetsTheCatalog) {
    Scratch scratch;
    Namespace net(scratch);
    if (const std::string why = net.create(); !why.empty()) {
        GTEST_SKIP() << "needs root and iproute2 for a network namespace: " << why;
    }
    const std::string wiring = net.wire();
    ASSERT_TRUE(wiring.empty()) << wiring;

    writeVolume(scratch / "lib/Alpha.po");
    fs::create_directories(scratch / "config");
    Child server(
        {VORN_SHARE_PATH, "serve", (scratch / "lib").string(), "--port", "0", "--no-advertise"},
        scratch / "serve.out", scratch / "serve.err",
        {"XDG_CONFIG_HOME=" + (scratch / "config").string()});
    ASSERT_TRUE(server.started()) << "cannot start " << VORN_SHARE_PATH;
    std::string log;
    ASSERT_TRUE(awaitOutput(scratch / "serve.out", "/\n", 5s, log))
        << "no URL line from the server; stdout: " << log
        << "\nstderr: " << slurp(scratch / "serve.err");
    const std::optional<int> port = listeningPort(log);
    ASSERT_TRUE(port) << "no port in: " << log;

    const Outcome outsider = net.connect(publicPeer, publicHost, *port);
    const std::string firstLine = outsider.out.substr(0, outsider.out.find('\n') + 1);
    EXPECT_TRUE(firstLine == "closed\n" || firstLine == "reset\n")
        << "the public peer's connection must be closed at once, got: " << outsider.out
        << outsider.err;
    EXPECT_EQ(outsider.out, firstLine) << "the public peer must get no byte at all";
    EXPECT_TRUE(awaitOutput(scratch / "serve.out", std::string("rejected non-LAN peer "), 3s, log))
        << "no rejection logged: " << log;
    // The listener takes both families on one IPv6 socket, so an IPv4 peer is logged in
    // its mapped form; only a machine without IPv6 listens on IPv4 alone.
    const std::string form = fs::exists("/proc/net/if_inet6") ? "::ffff:" : "";
    const std::string rejection = "  rejected non-LAN peer " + form + publicPeer + "\n";
    EXPECT_NE(log.find(rejection), std::string::npos)
        << "expected the line \"" << rejection.substr(2, rejection.size() - 3) << "\" in: " << log;

    const Outcome neighbour = net.connect(lanPeer, lanHost, *port);
    ASSERT_TRUE(neighbour.out.starts_with("complete\nHTTP/1.1 200 OK\r\n"))
        << "the LAN peer must get the catalog: " << neighbour.out << neighbour.err;
    const auto blank = neighbour.out.find("\r\n\r\n");
    ASSERT_NE(blank, std::string::npos);
    const auto catalog = nlohmann::json::parse(neighbour.out.substr(blank + 4), nullptr, false);
    ASSERT_FALSE(catalog.is_discarded()) << "not JSON: " << neighbour.out;
    EXPECT_EQ(catalog.value("total", -1), 1) << catalog.dump();
    EXPECT_NE(catalog.dump().find("Alpha.po"), std::string::npos) << catalog.dump();
}

} // namespace
} // namespace vorn
