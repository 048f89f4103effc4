// The LAN rule met by real peers. A network namespace of the test's own, joined to this
// machine by a veth pair, holds one public documentation address (203.0.113.2) and one
// private address (10.200.0.2); vorn-share serves on this side of the pair and each
// address connects to it once. Needs root for `ip netns`; skipped otherwise.

#include "../support/ProDosBytes.h"
#include "../support/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TempDir;

struct Outcome {
    int status = -1;
    std::string out; // standard output and error together
};

// Runs a shell command to its end; every command given here is bounded by `timeout`.
Outcome sh(const std::string& command) {
    Outcome outcome;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            outcome.out.append(buffer, n);
        }
        const int status = pclose(pipe);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return outcome;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One catalog request from `source` to `target`:`port`. The first output line tells how
// it ended, "closed" (end of stream) or "reset"; the bytes received follow.
constexpr const char* clientScript = R"PY(
import socket, sys
s = socket.create_connection((sys.argv[2], int(sys.argv[3])), 4, (sys.argv[1], 0))
data, end = b"", "closed"
try:
    s.sendall(b"GET /vorn-volumes.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
    while chunk := s.recv(65536):
        data += chunk
except (ConnectionResetError, BrokenPipeError):
    end = "reset"
sys.stdout.buffer.write(end.encode() + b"\n" + data)
)PY";

// Joins the two ends, each with an address in both /24 networks.
constexpr const char* wiring = R"SH(set -ex
ip link add $H type veth peer name $N
ip link set $N netns $NS
ip addr add 203.0.113.1/24 dev $H
ip addr add 10.200.0.1/24 dev $H
ip link set $H up
ip -n $NS addr add 203.0.113.2/24 dev $N
ip -n $NS addr add 10.200.0.2/24 dev $N
ip -n $NS link set $N up
ip -n $NS link set lo up)SH";

// The namespace (NS) and the veth pair (H here, N inside), removed however the test ends
// (harmlessly when they were never made). Deleting the namespace destroys the end inside
// it and with it the whole pair.
struct Namespace {
    const std::string name = "vorn-lan-" + std::to_string(getpid());
    /// Runs `script` with the names in $NS, $H and $N.
    Outcome run(const std::string& script) const {
        const std::string id = std::to_string(getpid());
        return sh("NS=" + name + " H=vl" + id + "h N=vl" + id + "n sh -c '" + script + "'");
    }
    ~Namespace() { run("ip link del $H; ip netns del $NS"); }
};

// A command started by a shell that prints its own pid and then becomes the command, so
// that it can be stopped and waited for; `timeout` ends it should this process die.
struct Background {
    FILE* pipe;
    pid_t pid = 0;
    explicit Background(const std::string& command)
        : pipe(popen(("echo $$; exec timeout -k 2 20 " + command).c_str(), "r")) {
        if (pipe == nullptr || fscanf(pipe, "%d", &pid) != 1) {
            pid = 0;
        }
    }
    ~Background() {
        if (pid > 0) {
            kill(pid, SIGTERM);
        }
        if (pipe != nullptr) {
            pclose(pipe);
        }
    }
};

// Polls the file until `wanted` turns up or three seconds pass; what it holds by then.
std::string awaitText(const fs::path& file, const std::string& wanted) {
    std::string seen;
    for (int i = 0; i < 150 && (seen = slurp(file)).find(wanted) == std::string::npos; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    return seen;
}

TEST(LanNamespaceTest, PublicPeerIsDroppedUnansweredAndLanPeerGetsTheCatalog) {
    Namespace net;
    if (const Outcome added = sh("ip netns add " + net.name); added.status != 0) {
        GTEST_SKIP() << "needs root and iproute2 for a network namespace: " << added.out;
    }
    const Outcome wired = net.run(wiring);
    ASSERT_EQ(wired.status, 0) << wired.out;

    TempDir dir;
    dir.write("lib/Alpha.po", test::ProDosBytes(280).volume("ALPHA").bytes());
    setenv("XDG_CONFIG_HOME", dir.mkdir("config").c_str(), 1);
    const fs::path client = dir.write("client.py", clientScript);
    const Background server(std::string(VORN_SHARE_PATH) + " serve " + (dir / "lib").string() +
                            " --port 0 --no-advertise >" + (dir / "serve.out").string() + " 2>&1");
    ASSERT_GT(server.pid, 0) << "cannot start a shell";
    // "Image Source URL for the card: http://ADDRESS:PORT/"
    std::string log = awaitText(dir / "serve.out", "/\n");
    const auto end = log.find("/\n", log.find("http://"));
    ASSERT_NE(end, std::string::npos) << "no URL line from the server: " << log;
    const std::string port = log.substr(log.rfind(':', end) + 1, end - log.rfind(':', end) - 1);
    const auto connect = [&](const std::string& source, const std::string& target) {
        return sh("timeout 8 ip netns exec " + net.name + " python3 " + client.string() + " " +
                  source + " " + target + " " + port);
    };

    const Outcome outsider = connect("203.0.113.2", "203.0.113.1");
    EXPECT_TRUE(outsider.out == "closed\n" || outsider.out == "reset\n")
        << "the public peer must be dropped without getting a byte, got: " << outsider.out;
    // The listener takes both families on one IPv6 socket, so an IPv4 peer is logged in
    // its mapped form; only a machine without IPv6 listens on IPv4 alone.
    const std::string form = fs::exists("/proc/net/if_inet6") ? "::ffff:" : "";
    const std::string rejection = "  rejected non-LAN peer " + form + "203.0.113.2\n";
    log = awaitText(dir / "serve.out", rejection);
    EXPECT_NE(log.find(rejection), std::string::npos)
        << "no line \"" << rejection << "\" in: " << log;

    const Outcome neighbour = connect("10.200.0.2", "10.200.0.1");
    ASSERT_TRUE(neighbour.out.starts_with("closed\nHTTP/1.1 200 OK\r\n"))
        << "the LAN peer must get the catalog: " << neighbour.out;
    EXPECT_NE(neighbour.out.find("\r\n\r\n{ \"pages\": 1, \"total\": 1, \"volumes\": [\n"
                                 "  { \"name\": \"Alpha\", "),
              std::string::npos)
        << neighbour.out;
}

} // namespace
} // namespace vorn
