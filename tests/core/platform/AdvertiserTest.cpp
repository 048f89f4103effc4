#include "platform/Advertiser.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dbus/dbus.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
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
using Clock = std::chrono::steady_clock;

// mDNS answers from the local daemon take about a second; ten is generous and still
// keeps a broken build from hanging the suite.
constexpr auto kPatience = 10s;

int shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, n);
        }
        pclose(pipe);
    }
    return text;
}

bool eventually(const std::function<bool()>& condition) {
    for (const auto deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return condition();
}

// The lines an Advertiser logs, from Avahi's thread.
class LogRecorder {
public:
    Advertiser::LogFn sink() {
        return [this](std::string line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(line));
            m_changed.notify_all();
        };
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    bool waitForLine(const std::string& line) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] {
            return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
        });
    }
    bool waitForAnyLine() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] { return !m_lines.empty(); });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};

std::string established(const std::string& name) {
    return "advertised as " + name + " (_vorn-share._tcp)";
}

// A name no earlier run or parallel process has left in a daemon's cache.
std::string uniqueName(const std::string& stem) {
    return stem + " " + std::to_string(getpid());
}

// --- the daemons -------------------------------------------------------------------

// Starts the system bus and Avahi when they are missing, which only root can do; CI
// runs as root in a container without an init system. The default avahi-daemon.conf is
// enough even on a machine with nothing but loopback, since Avahi counts loopback as an
// interface and the browser below asks the same daemon: nothing crosses a network.
// What this process started it stops at exit, so a machine is left as it was found; the
// tests hold a ctest resource lock so that no two of them start or stop daemons at once.
class AvahiDaemons : public ::testing::Environment {
public:
    static bool running() { return shell("avahi-daemon --check") == 0; }

    // What went wrong, or nothing once a daemon answers.
    static std::optional<std::string> start() {
        if (!systemBusAnswers()) {
            // A bus that died leaves its pid file behind, and dbus-daemon refuses to
            // start while it exists.
            std::error_code ignored;
            std::filesystem::remove("/run/dbus/pid", ignored);
            std::filesystem::create_directories("/run/dbus", ignored);
            s_startedBus = std::atoi(output("dbus-daemon --system --fork --print-pid").c_str());
            if (!eventually(systemBusAnswers)) {
                return "the system D-Bus daemon did not start";
            }
        }
        if (shell("avahi-daemon --daemonize --no-chroot") != 0 || !eventually(running)) {
            return "avahi-daemon did not start";
        }
        s_startedAvahi = true;
        return std::nullopt;
    }

    void TearDown() override {
        if (s_startedAvahi) {
            shell("avahi-daemon --kill");
            eventually([] { return !running(); });
        }
        if (s_startedBus > 0) {
            kill(s_startedBus, SIGTERM);
        }
    }

private:
    static bool systemBusAnswers() {
        return shell("dbus-send --system --print-reply --reply-timeout=2000 "
                     "--dest=org.freedesktop.DBus /org/freedesktop/DBus "
                     "org.freedesktop.DBus.GetId") == 0;
    }

    static inline pid_t s_startedBus = 0;
    static inline bool s_startedAvahi = false;
};

const auto* const g_daemons = ::testing::AddGlobalTestEnvironment(new AvahiDaemons);

// --- what the network sees ---------------------------------------------------------

struct Resolved {
    std::string name;
    int port = 0;
    std::string txt;
};

// avahi-browse -p escapes names: "\032" (decimal) for a space, "\." for a dot.
std::string unescape(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && std::isdigit(text[i + 1]) &&
            std::isdigit(text[i + 2]) && std::isdigit(text[i + 3])) {
            plain += static_cast<char>(std::stoi(text.substr(i + 1, 3)));
            i += 3;
        } else if (text[i] == '\\' && i + 1 < text.size()) {
            plain += text[++i];
        } else {
            plain += text[i];
        }
    }
    return plain;
}

// Every resolved "_vorn-share._tcp" answer, one per interface and protocol:
// =;iface;proto;name;type;domain;host;address;port;txt
std::vector<Resolved> browse() {
    std::vector<Resolved> found;
    std::istringstream lines(output("timeout 8 avahi-browse -rpt _vorn-share._tcp"));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ';');) {
            fields.push_back(field);
        }
        if (fields.size() >= 10 && fields[0] == "=") {
            found.push_back({unescape(fields[3]), std::atoi(fields[8].c_str()), fields[9]});
        }
    }
    return found;
}

std::optional<Resolved> find(const std::vector<Resolved>& services, const std::string& name) {
    for (const Resolved& service : services) {
        if (service.name == name) {
            return service;
        }
    }
    return std::nullopt;
}

// --- without a daemon ----------------------------------------------------------------

// Points this process's system-bus connections at a socket of the test's own, where a
// bus can be started that no Avahi daemon has joined. libdbus reads
// DBUS_SYSTEM_BUS_ADDRESS once and caches it, so the cache is dropped on the way in and
// out; that is safe only while no connection is open, as between tests.
class PrivateSystemBus {
public:
    PrivateSystemBus()
        : m_folder(std::filesystem::temp_directory_path() /
                   ("vorn-advertiser-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(m_folder);
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
            m_saved = old;
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + socket()).c_str(), 1);
        dbus_shutdown();
    }
    ~PrivateSystemBus() {
        if (m_busPid > 0) {
            kill(m_busPid, SIGTERM);
        }
        if (m_saved) {
            setenv("DBUS_SYSTEM_BUS_ADDRESS", m_saved->c_str(), 1);
        } else {
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
        dbus_shutdown();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    // Starts a bus on the socket and waits until it accepts connections.
    bool start() {
        const std::string pid = output("dbus-daemon --session --nosyslog --fork --print-pid "
                                       "--address=unix:path=" +
                                       socket());
        m_busPid = std::atoi(pid.c_str());
        return m_busPid > 0 && eventually([&] { return std::filesystem::exists(socket()); });
    }

private:
    std::string socket() const { return (m_folder / "bus").string(); }

    std::filesystem::path m_folder;
    std::optional<std::string> m_saved;
    pid_t m_busPid = 0;
};

void expectOneUnadvertisedLine(const std::string& situation, const std::string& reason) {
    SCOPED_TRACE(situation);
    LogRecorder log;
    {
        Advertiser advertiser("Vorn Images on nowhere", 8271, log.sink());
        advertiser.start();
        ASSERT_TRUE(log.waitForAnyLine()) << "nothing was logged within 10 s";
        // Room for a faulty implementation to log a second line, or to crash.
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(advertiser.publishedName(), "Vorn Images on nowhere");
        advertiser.stop();
        advertiser.stop();
    } // and the destructor runs after stop()
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.front(), "share not advertised: no Avahi daemon (" + reason + ")");
}

TEST(AdvertiserTest, withoutADaemonTheShareGoesOnAndTheLogSaysSoOnce) {
    PrivateSystemBus bus;
    // No D-Bus at all: the client cannot even be created.
    expectOneUnadvertisedLine("no system bus", "Daemon not running");
    // A bus without Avahi: the client is created and waits for a daemon to appear.
    ASSERT_TRUE(bus.start()) << "dbus-daemon could not start a private bus";
    expectOneUnadvertisedLine("a bus without Avahi", "Daemon not running");
}

// --- with a daemon -------------------------------------------------------------------

class AdvertiserWithDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (AvahiDaemons::running()) {
            return;
        }
        if (geteuid() != 0) {
            GTEST_SKIP() << "no Avahi daemon is running and only root may start one";
        }
        if (auto problem = AvahiDaemons::start()) {
            FAIL() << *problem;
        }
    }
};

TEST_F(AdvertiserWithDaemonTest, publishesNamePortAndPathThenWithdraws) {
    const std::string name = uniqueName("Vorn Images on test");
    LogRecorder log;
    Advertiser advertiser(name, 18271, log.sink());
    advertiser.start();
    ASSERT_TRUE(log.waitForLine(established(name)))
        << "not established within 10 s; log: " << ::testing::PrintToString(log.lines());

    std::optional<Resolved> seen;
    ASSERT_TRUE(eventually([&] { return (seen = find(browse(), name)).has_value(); }))
        << "avahi-browse never resolved \"" << name << "\"";
    EXPECT_EQ(seen->port, 18271);
    EXPECT_EQ(seen->txt, "\"path=/\"") << "the TXT record must hold exactly path=/";
    EXPECT_EQ(advertiser.publishedName(), name);

    advertiser.stop();
    EXPECT_TRUE(eventually([&] { return !find(browse(), name).has_value(); }))
        << "\"" << name << "\" was still browsable 10 s after stop()";
    EXPECT_EQ(log.lines().size(), 1u) << ::testing::PrintToString(log.lines());
}

TEST_F(AdvertiserWithDaemonTest, aTakenNameIsReplacedByAvahisAlternative) {
    const std::string name = uniqueName("Vorn Images on twin");
    LogRecorder firstLog;
    LogRecorder secondLog;
    Advertiser first(name, 18272, firstLog.sink());
    first.start();
    ASSERT_TRUE(firstLog.waitForLine(established(name)));
    Advertiser second(name, 18273, secondLog.sink());
    second.start();
    ASSERT_TRUE(eventually([&] {
        return second.publishedName() != name && !secondLog.lines().empty() &&
               secondLog.lines().back() == established(second.publishedName());
    })) << "the second share was not renamed and established; log: "
        << ::testing::PrintToString(secondLog.lines());

    const std::string renamed = second.publishedName();
    EXPECT_EQ(secondLog.lines().front(), "advertised as " + renamed);
    EXPECT_EQ(first.publishedName(), name) << "the first owner of the name must keep it";
    // Both must really be on the network, each with its own port.
    std::optional<Resolved> a;
    std::optional<Resolved> b;
    ASSERT_TRUE(eventually([&] {
        const auto services = browse();
        a = find(services, name);
        b = find(services, renamed);
        return a && b;
    })) << "not both of \""
        << name << "\" and \"" << renamed << "\" were browsable";
    EXPECT_EQ(a->port, 18272);
    EXPECT_EQ(b->port, 18273);
}

} // namespace
} // namespace vorn
