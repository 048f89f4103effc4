// The LAN rule met by real peers. A network namespace of the test's own, joined to this
// machine by a veth pair, holds one public documentation address (203.0.113.2) and one
// private address (10.200.0.2); vorn-share serves on this side of the pair and each
// address connects to it once. Needs root for `ip netns`; skipped otherwise.

#include "support/ProDosBytes.h"
#include "support/ServeProcess.h"
#include "support/Shell.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace vorn {
namespace {

using test::Outcome;
using test::shell;

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
        return shell("NS=" + name + " H=vl" + id + "h N=vl" + id + "n sh -c '" + script + "'");
    }
    ~Namespace() { run("ip link del $H; ip netns del $NS"); }
};

TEST(LanNamespaceTest, PublicPeerIsDroppedUnansweredAndLanPeerGetsTheCatalog) {
    Namespace net;
    if (const Outcome added = shell("ip netns add " + net.name); added.status != 0) {
        GTEST_SKIP() << "needs root and iproute2 for a network namespace: " << added.err;
    }
    const Outcome wired = net.run(wiring);
    ASSERT_EQ(wired.status, 0) << wired.err;

    test::TempDir dir;
    dir.write("lib/Alpha.po", test::ProDosBytes(280).volume("ALPHA").bytes());
    const std::string client = dir.write("client.py", clientScript).string();
    test::ServeProcess serve({"serve", (dir / "lib").string(), "--port", "0", "--no-advertise"},
                             dir.mkdir("config"));
    const std::string port = std::to_string(serve.port());
    ASSERT_NE(port, "0") << "the server did not start: " << serve.text();
    const auto connect = [&](const std::string& source, const std::string& target) {
        return shell("timeout 8 ip netns exec " + net.name + " python3 " + client + " " + source +
                     " " + target + " " + port);
    };

    const Outcome outsider = connect("203.0.113.2", "203.0.113.1");
    EXPECT_TRUE(outsider.out == "closed\n" || outsider.out == "reset\n")
        << "the public peer must be dropped without getting a byte, got: " << outsider.out
        << outsider.err;
    // The listener takes both families on one IPv6 socket, so an IPv4 peer is logged in
    // its mapped form; only a machine without IPv6 listens on IPv4 alone.
    const std::string form = std::filesystem::exists("/proc/net/if_inet6") ? "::ffff:" : "";
    const std::string rejection = "  rejected non-LAN peer " + form + "203.0.113.2\n";
    EXPECT_TRUE(serve.waitFor(rejection)) << "no line \"" << rejection << "\" in: " << serve.text();

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
