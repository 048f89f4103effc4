// What attaching the desktop model to a share costs while a card reads blocks as fast as
// it can: wrk with 64 connections doing random 512-byte block reads of a 32 MB image (the
// script of bench/http), against a bare ShareServer and against a ShareModel sharing the
// same library, in alternated rounds. Meanwhile a 5 ms timer on the GUI thread records how
// late it fires. Printed per round and as medians: the server thread's CPU per request,
// the process's CPU per request without the GUI thread, the GUI thread's CPU, and the
// timer's lateness; the goals are a p99 lateness under 20 ms and the server's CPU per
// request with the model within 1.1 times that without.
//
// Like bench/http, this process runs on CPU 0 and wrk on CPU 1, and the rounds alternate
// (bare, model, model, bare, ...) so that the machine's other work weighs on both alike.

#include "audio/AudioTranscoder.h"
#include "LatenessProbe.h"
#include "model/ShareModel.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "scan/LibraryScan.h"
#include "server/ShareServer.h"
#include "support/FreePort.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sched.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace vorn;

namespace {

// A bench run on settings that were not stored measures something else.
void mustStore(bool stored) {
    if (!stored) {
        throw std::runtime_error("cannot store the bench's settings");
    }
}

constexpr std::uint64_t kImageBytes = 33554432;
constexpr double kLatenessGoalMs = 20;
constexpr double kCpuRatioGoal = 1.1;

// ---- What the kernel says about our threads and the machine ----

std::set<int> threadIds() {
    std::set<int> ids;
    for (const auto& entry : fs::directory_iterator("/proc/self/task")) {
        ids.insert(std::stoi(entry.path().filename().string()));
    }
    return ids;
}

// CPU time of one of our threads, in nanoseconds (0 once it has ended).
double threadCpuNs(int tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    double ns = 0;
    in >> ns;
    return ns;
}

// Every thread of the process (none ends during a round).
double processCpuNs() {
    double ns = 0;
    for (int tid : threadIds()) {
        ns += threadCpuNs(tid);
    }
    return ns;
}

// Busy and total jiffies of the whole machine.
std::pair<double, double> machineJiffies() {
    std::ifstream in("/proc/stat");
    std::string cpu;
    double user, nice, system, idle, iowait, irq, softirq, steal;
    in >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    const double busy = user + nice + system + irq + softirq + steal;
    return {busy, busy + idle + iowait};
}

double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p / 100 * double(values.size())))];
}

double median(const std::vector<double>& values) {
    return percentile(values, 50);
}

// ---- One round ----

struct Round {
    bool model = false;
    double requests = 0;
    double seconds = 0;
    double serverNsPerRequest = 0;
    double restNsPerRequest = 0; // the process without the GUI thread
    double guiCpuMs = 0;
    double p50Late = 0;
    double p99Late = 0;
    double maxLate = 0;
    double otherLoad = 0; // CPUs kept busy by other programs, on average
    std::string errors;
};


// wrk's summary line: "BENCH requests=N duration_us=N ... err_status=N err_timeout=N".
std::map<std::string, double> runWrk(const std::string& port, int seconds) {
    QProcess wrk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BENCH_LUA", VORN_BENCH_HTTP_DIR);
    env.insert("BENCH_PATH", "/bench.hdv");
    env.insert("BENCH_SIZE", QString::number(kImageBytes));
    wrk.setProcessEnvironment(env);
    wrk.start("taskset", {"-c", "1", "wrk", "-t1", "-c64", "-d" + QString::number(seconds) + "s",
                          "--timeout", "5s", "-s", VORN_BENCH_HTTP_DIR "/block-read.lua",
                          QString::fromStdString("http://127.0.0.1:" + port + "/bench.hdv")});
    QEventLoop loop;
    QObject::connect(&wrk, &QProcess::finished, &loop, &QEventLoop::quit);
    loop.exec();
    std::map<std::string, double> figures;
    std::istringstream out(wrk.readAllStandardOutput().toStdString());
    for (std::string word; out >> word;) {
        if (const auto eq = word.find('='); eq != std::string::npos) {
            figures[word.substr(0, eq)] = std::atof(word.c_str() + eq + 1);
        }
    }
    return figures;
}

std::string trackNumber(int n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", n);
    return digits;
}

struct Sharing {
    fs::path library;
    fs::path work;
    int items = 0;
    Preferences preferences{work / "preferences.json"};
    AudioTranscoder audio{work / "cache", std::nullopt};
    PictureTranscoder pictures{preferences, work / "cache", std::nullopt, std::nullopt};
};

// The thread among `fresh` that worked most between the two readings: the server's.
int busiest(const std::set<int>& fresh, const std::map<int, double>& before) {
    int best = -1;
    double most = -1;
    for (int tid : fresh) {
        const double used = threadCpuNs(tid) - before.at(tid);
        if (used > most) {
            most = used;
            best = tid;
        }
    }
    return best;
}

Round load(int seconds, std::uint16_t port, const std::set<int>& fresh) {
    Round r;
    std::map<int, double> before;
    for (int tid : fresh) {
        before[tid] = threadCpuNs(tid);
    }
    const double gui0 = threadCpuNs(getpid()), all0 = processCpuNs(), wrk0 = childrenCpuSeconds();
    const auto machine0 = machineJiffies();
    bench::LatenessProbe probe;
    const auto figures = runWrk(std::to_string(port), seconds);
    const auto machine1 = machineJiffies();
    const int server = busiest(fresh, before);
    const double serverNs = threadCpuNs(server) - before[server];
    const double gui = threadCpuNs(getpid()) - gui0, all = processCpuNs() - all0;
    r.requests = figures.count("requests") ? figures.at("requests") : 0;
    r.seconds = figures.count("duration_us") ? figures.at("duration_us") / 1e6 : seconds;
    r.serverNsPerRequest = serverNs / std::max(1.0, r.requests);
    r.restNsPerRequest = (all - gui) / std::max(1.0, r.requests);
    r.guiCpuMs = gui / 1e6;
    r.p50Late = percentile(probe.late(), 50);
    r.p99Late = percentile(probe.late(), 99);
    r.maxLate = percentile(probe.late(), 100);
    const double hz = double(sysconf(_SC_CLK_TCK));
    const double busy = (machine1.first - machine0.first) / hz;
    const double ours = (all / 1e9) + (childrenCpuSeconds() - wrk0);
    r.otherLoad = std::max(0.0, busy - ours) / r.seconds;
    for (const char* key : {"err_connect", "err_read", "err_write", "err_status", "err_timeout"}) {
        if (figures.count(key) && figures.at(key) > 0) {
            r.errors += std::string(key) + "=" + std::to_string(int(figures.at(key))) + " ";
        }
    }
    return r;
}

// The card plays `items` tracks once each before the load (curl's URL range): every item
// read stays in the status's last reads, which the status hands over in full.
void readTracks(std::uint16_t port, int items) {
    if (items == 0) {
        return;
    }
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    const std::string range = "[0001-" + trackNumber(items) + "]";
    curl.start("curl", {"-s", QString::fromStdString("http://127.0.0.1:" + std::to_string(port) +
                                                     "/audio/Music/Track" + range + ".pcm")});
    curl.waitForFinished(60000);
}

Round bareRound(Sharing& s, int seconds) {
    const std::uint16_t port = test::freePort();
    const std::set<int> old = threadIds();
    const Converters converters{s.audio, s.pictures};
    ShareServer server(LibraryScan::run(converters, s.library, true), false,
                       "Vorn Images on bench", std::nullopt, converters);
    server.convertPending();
    server.start(port);
    readTracks(port, s.items);
    std::set<int> fresh;
    std::ranges::set_difference(threadIds(), old, std::inserter(fresh, fresh.end()));
    return load(seconds, port, fresh);
}

Round modelRound(Sharing& s, int seconds) {
    const std::uint16_t port = test::freePort();
    mustStore(s.preferences.set("port", std::int64_t(port)));
    ShareModel model(s.preferences, s.audio, s.pictures);
    const std::set<int> old = threadIds();
    model.start();
    QEventLoop loop;
    QObject::connect(&model, &ShareModel::sharingChanged, &loop, &QEventLoop::quit);
    if (!model.sharing()) {
        loop.exec();
    }
    readTracks(port, s.items);
    std::set<int> fresh;
    std::ranges::set_difference(threadIds(), old, std::inserter(fresh, fresh.end()));
    Round r = load(seconds, port, fresh);
    r.model = true;
    QEventLoop settle; // the last status may still be on its way
    QTimer::singleShot(200, &settle, &QEventLoop::quit);
    settle.exec();
    if (model.requests() < std::uint64_t(r.requests)) {
        r.errors += "model saw only " + std::to_string(model.requests()) + " requests ";
    }
    return r;
}

void printRound(int n, const Round& r) {
    std::printf("%5d %-5s %8.0f %8.0f %9.2f %9.2f %8.1f %7.2f %7.2f %7.2f %6.2f %s\n", n,
                r.model ? "model" : "bare", r.requests, r.requests / r.seconds,
                r.serverNsPerRequest / 1000, r.restNsPerRequest / 1000, r.guiCpuMs, r.p50Late,
                r.p99Late, r.maxLate, r.otherLoad, r.errors.c_str());
}

void summarize(const std::vector<Round>& rounds) {
    std::map<bool, std::vector<double>> server, rest, p99, rate, other;
    for (const Round& r : rounds) {
        server[r.model].push_back(r.serverNsPerRequest / 1000);
        rest[r.model].push_back(r.restNsPerRequest / 1000);
        p99[r.model].push_back(r.p99Late);
        rate[r.model].push_back(r.requests / r.seconds);
        other[r.model].push_back(r.otherLoad);
    }
    for (bool m : {false, true}) {
        std::printf("%-5s medians: %.0f req/s, server thread %.2f us/req, process without GUI "
                    "%.2f us/req, p99 lateness %.2f ms, other programs' load %.2f CPUs\n",
                    m ? "model" : "bare", median(rate[m]), median(server[m]), median(rest[m]),
                    median(p99[m]), median(other[m]));
    }
    const double ratio = median(server[true]) / median(server[false]);
    const double restRatio = median(rest[true]) / median(rest[false]);
    std::printf("server CPU per request, model/bare: %.3f (process without GUI %.3f) "
                "(goal <= %.1f: %s)\n",
                ratio, restRatio, kCpuRatioGoal, ratio <= kCpuRatioGoal ? "met" : "missed");
    const double late = median(p99[true]);
    std::printf("GUI timer p99 lateness with the model %.2f ms (goal < %.0f: %s)\n", late,
                kLatenessGoalMs, late < kLatenessGoalMs ? "met" : "missed");
}

void writeImage(const fs::path& path) {
    std::string bytes(kImageBytes, '\0');
    std::mt19937_64 random(42);
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        const std::uint64_t word = random();
        std::memcpy(bytes.data() + i, &word, 8);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

int measure(const fs::path& work, int rounds, int seconds, int items) {
    Sharing s{work / "lib", work, items};
    fs::create_directories(s.library / "Music");
    writeImage(s.library / "bench.hdv");
    for (int n = 1; n <= items; ++n) {
        std::ofstream(s.library / "Music" / ("Track" + trackNumber(n) + ".pcm"))
            << std::string(2048, '\x80');
    }
    mustStore(s.preferences.set("folder", s.library.string()));
    mustStore(s.preferences.set("advertise", false));
    std::printf("load average before: %s\n", loadAverage().c_str());
    std::printf("%5s %-5s %8s %8s %9s %9s %8s %7s %7s %7s %6s\n", "round", "kind", "requests",
                "req/s", "server us", "rest us", "GUI ms", "p50 ms", "p99 ms", "max ms", "other");
    std::vector<Round> all;
    for (int n = 1; n <= rounds; ++n) {
        // bare, model, model, bare, ...: a load that grows or fades over the run weighs on
        // both kinds alike.
        for (bool model : {n % 2 == 0, n % 2 != 0}) {
            all.push_back(model ? modelRound(s, seconds) : bareRound(s, seconds));
            printRound(n, all.back());
        }
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    summarize(all);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 4 || (argc > 1 && std::string(argv[1]).starts_with("-"))) {
        std::fprintf(stderr, "usage: desktop-serve-bench [ROUNDS [SECONDS [TRACKS-READ]]]\n");
        return 2;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int items = argc > 3 ? std::clamp(std::atoi(argv[3]), 0, 9999) : 0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    cpu_set_t cpu0;
    CPU_ZERO(&cpu0);
    CPU_SET(0, &cpu0);
    sched_setaffinity(0, sizeof cpu0, &cpu0); // before any thread starts: they all inherit it
    std::string pattern = (fs::temp_directory_path() / "desktop-serve-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const fs::path work(pattern);
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (work / "cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", work.c_str(), 1); // mkdtemp made it private, as Qt wants
    int status = 1;
    {
        int qtArgc = 1;
        QGuiApplication app(qtArgc, argv);
        try {
            status = measure(work, rounds, seconds, items);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "desktop-serve-bench: %s\n", e.what());
        }
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
