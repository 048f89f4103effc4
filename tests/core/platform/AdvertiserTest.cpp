#include "platform/Advertiser.h"

#include "support/Eventually.h"
#include "support/Shell.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dbus/dbus.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vorn {
namespace {

using namespace std::chrono_literals;

int shell(const std::string& command) {
    return test::shell(command + " >/dev/null").status;
}

std::string output(const std::string& command) {
    return test::shell(command).out;
}

// mDNS answers from the local daemon take about a second; ten is generous and still
// keeps a broken build from hanging the suite.
bool eventually(const std::function<bool()>& condition) {
    return test::eventually(condition, 10s, 100ms);
}

// The lines an Advertiser logs, from Avahi's thread.
struct LogRecorder {
    mutable std::mutex mutex;
    std::vector<std::string> all;
    Advertiser::LogFn sink() {
        return [this](std::string line) {
            std::lock_guard lock(mutex);
            all.push_back(std::move(line));
        };
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex);
        return all;
    }
    bool has(const std::string& line) const { return std::ranges::count(lines(), line) > 0; }
};

std::string established(const std::string& name) {
    return "advertised as " + name + " (_vorn-share._tcp)";
}

bool avahiRunning() {
    return shell("avahi-daemon --check") == 0;
}

// Starts the system bus and Avahi when they are missing, which only root can do; CI
// runs as root in a container without an init system. The default configuration is
// enough even with nothing but loopback: Avahi counts loopback as an interface and the
// browser asks the same daemon, so nothing crosses a network. What this process started
// it stops at exit; ctest's resource lock keeps two tests from doing so at once.
class AvahiDaemons : public ::testing::Environment {
public:
    static std::optional<std::string> start() {
        const auto busAnswers = [] {
            return shell("dbus-send --system --print-reply --reply-timeout=2000 "
                         "--dest=org.freedesktop.DBus "
                         "/org/freedesktop/DBus org.freedesktop.DBus.GetId") == 0;
        };
        if (!busAnswers()) {
            // dbus-daemon refuses to start while a dead bus's pid file is left behind.
            s_bus = std::atoi(output("rm -f /run/dbus/pid; mkdir -p /run/dbus; "
                                     "dbus-daemon --system --fork --print-pid")
                                  .c_str());
            if (!eventually(busAnswers)) {
                return "the system D-Bus daemon did not start";
            }
        }
        s_avahi = shell("avahi-daemon --daemonize --no-chroot") == 0;
        if (!s_avahi || !eventually(avahiRunning)) {
            return "avahi-daemon did not start";
        }
        return std::nullopt;
    }
    void TearDown() override {
        if (s_avahi) {
            shell("avahi-daemon --kill");
            eventually([] { return !avahiRunning(); });
        }
        if (s_bus > 0) {
            kill(s_bus, SIGTERM);
        }
    }

private:
    static inline pid_t s_bus = 0;
    static inline bool s_avahi = false;
};

const auto* const g_daemons = ::testing::AddGlobalTestEnvironment(new AvahiDaemons);

// Port and TXT of every resolved "_vorn-share._tcp" service by name, from lines
// "=;iface;proto;name;type;domain;host;address;port;txt" in which the name is escaped:
// "\032" (decimal) for a space, "\." for a dot.
std::map<std::string, std::pair<int, std::string>> browse() {
    std::map<std::string, std::pair<int, std::string>> found;
    std::istringstream lines(output("timeout 8 avahi-browse -rpt _vorn-share._tcp"));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string field; std::getline(cells, field, ';');) {
            f.push_back(field);
        }
        if (f.size() < 10 || f[0] != "=") {
            continue;
        }
        std::string name;
        for (std::size_t i = 0; i < f[3].size(); ++i) {
            if (f[3][i] == '\\' && std::isdigit(f[3][i + 1])) {
                name += char(std::stoi(f[3].substr(i + 1, 3)));
                i += 3;
            } else {
                i += f[3][i] == '\\' ? 1 : 0; // "\." stands for the character after it
                name += f[3][i];
            }
        }
        found[name] = {std::atoi(f[8].c_str()), f[9]};
    }
    return found;
}

// Points this process's system bus at a socket of the test's own, where a bus can run
// that no Avahi daemon has joined. libdbus reads DBUS_SYSTEM_BUS_ADDRESS once and caches
// it, so the cache is dropped on the way in and out, safe while no connection is open.
class PrivateSystemBus {
public:
    PrivateSystemBus() {
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
            m_saved = old;
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + m_socket).c_str(), 1);
        dbus_shutdown();
    }
    ~PrivateSystemBus() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
        }
        if (m_saved) {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", m_saved->c_str(), 1);
        } else {
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
        dbus_shutdown();
    }
    bool start() {
        m_pid = std::atoi(
            output("dbus-daemon --session --nosyslog --fork --print-pid --address=unix:path=" +
                   m_socket)
                .c_str());
        return m_pid > 0 && eventually([&] { return std::filesystem::exists(m_socket); });
    }

private:
    test::TempDir m_dir;
    std::string m_socket = (m_dir / "bus").string();
    std::optional<std::string> m_saved;
    pid_t m_pid = 0;
};

void expectOneUnadvertisedLine(const std::string& situation) {
    SCOPED_TRACE(situation);
    LogRecorder log;
    {
        Advertiser advertiser("Vorn Images on nowhere", 8271, log.sink());
        advertiser.start();
        ASSERT_TRUE(eventually([&] { return !log.lines().empty(); })) << "nothing was logged";
        std::this_thread::sleep_for(300ms); // room for a faulty second line, or a crash
        EXPECT_EQ(advertiser.publishedName(), "Vorn Images on nowhere");
        advertiser.stop();
        advertiser.stop();
    } // and the destructor runs after stop()
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "share not advertised: no Avahi daemon (Daemon not running)"});
}

TEST(AdvertiserTest, withoutADaemonTheShareGoesOnAndTheLogSaysSoOnce) {
    PrivateSystemBus bus;
    expectOneUnadvertisedLine("no system bus: the client cannot even be created");
    ASSERT_TRUE(bus.start()) << "dbus-daemon could not start a private bus";
    expectOneUnadvertisedLine("a bus without Avahi: the client waits for a daemon");
}

TEST(AdvertiserTest, publishesThenWithdrawsAndATakenNameGetsAvahisAlternative) {
    if (!avahiRunning() && geteuid() != 0) {
        GTEST_SKIP() << "no Avahi daemon is running and only root may start one";
    }
    if (const auto problem = avahiRunning() ? std::nullopt : AvahiDaemons::start()) {
        FAIL() << *problem;
    }
    // A name no earlier run or parallel process has left in a daemon's cache.
    const std::string name = "Vorn Images on test " + std::to_string(getpid());
    LogRecorder firstLog, secondLog;
    Advertiser first(name, 18271, firstLog.sink());
    first.start();
    ASSERT_TRUE(eventually([&] { return firstLog.has(established(name)); }))
        << "not established; log: " << ::testing::PrintToString(firstLog.lines());
    Advertiser second(name, 18272, secondLog.sink());
    second.start();
    ASSERT_TRUE(eventually([&] {
        const auto lines = secondLog.lines();
        return second.publishedName() != name && !lines.empty() &&
               lines.back() == established(second.publishedName());
    })) << "the second share was not renamed and established; log: "
        << ::testing::PrintToString(secondLog.lines());
    const std::string renamed = second.publishedName();
    EXPECT_EQ(secondLog.lines().front(), "advertised as " + renamed);
    EXPECT_EQ(first.publishedName(), name) << "the first owner of the name must keep it";

    std::map<std::string, std::pair<int, std::string>> seen;
    ASSERT_TRUE(eventually([&] {
        seen = browse();
        return seen.count(name) && seen.count(renamed);
    })) << "not both of \""
        << name << "\" and \"" << renamed << "\" were browsable";
    EXPECT_EQ(seen[name], std::pair(18271, std::string("\"path=/\"")))
        << "its own port, and a TXT record of exactly path=/";
    EXPECT_EQ(seen[renamed], std::pair(18272, std::string("\"path=/\"")));

    first.stop();
    EXPECT_TRUE(eventually([&] { return browse().count(name) == 0; }))
        << "\"" << name << "\" was still browsable 10 s after stop()";
    EXPECT_EQ(firstLog.lines().size(), 1u) << ::testing::PrintToString(firstLog.lines());
}

} // namespace
} // namespace vorn
