// Times what the desktop does with the benchmark library (10,000 disk images, 20,000
// other files), through ShareModel as the window uses it: a rescan, whose walk, probe and
// catalogs run on the scanner's worker while the GUI thread only takes the result (the
// table's index, the automatic column layout and the item model's refresh; the worker
// then queues the pending conversions); and one header click per sort key. Rescan rounds
// and sort rounds alternate; medians are printed with the goals, and the memory the model
// holds for that library. Then how long the GUI thread stalls for each action a person
// takes (GuiStalls.h). With RUNS 0 only the stalls are measured.
//
// The conversion tools are stand-ins that never finish (a shell script that sleeps), so
// the library's audio and pictures are listed as pending, as on a machine converting
// them, without converters competing for the CPU while the rounds are timed.

#include "GuiStalls.h"
#include "LatenessProbe.h"
#include "audio/AudioTranscoder.h"
#include "model/LibraryScanner.h"
#include "model/LibraryTableModel.h"
#include "model/ShareModel.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "support/GeneratedLibrary.h"

#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vorn;
using namespace vorn::bench;

namespace {

constexpr int kDefaultRuns = 5;
constexpr double kRescanGoal = 250;
constexpr double kSortGoal = 50;
constexpr double kMemoryGoalMB = 50;

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double allocatedMB() {
    return double(mallinfo2().uordblks) / 1048576.0;
}

void writeScript(const fs::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms(0755));
}

// ffmpeg and a python3 "with numpy and Pillow" that never finish a conversion.
void installStandInTools(const fs::path& bin) {
    fs::create_directories(bin);
    writeScript(bin / "ffmpeg", "exec /bin/sleep 3600");
    writeScript(bin / "python3", "[ \"$1\" = -c ] && exit 0\nexec /bin/sleep 3600");
    setenv("PATH", bin.c_str(), 1);
}

// Notes when the scanner's result starts being handed to the model on the GUI thread.
class HandOverProbe : public QObject {
public:
    explicit HandOverProbe(const QObject* scanner) : m_scanner(scanner) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_scanner && event->type() == QEvent::MetaCall) {
            arrived = Clock::now();
        }
        return false;
    }
    Clock::time_point arrived;

private:
    const QObject* m_scanner;
};

// Runs the event loop until the model has taken a scan.
void waitForScan(ShareModel& model) {
    QEventLoop loop;
    QObject::connect(&model.library(), &LibraryModel::contentsChanged, &loop, &QEventLoop::quit);
    loop.exec();
}

// The stand-ins are stopped by the transcoders' time limit only after the bench is over.
const ConversionLimit kNoLimit{std::chrono::hours(24), std::chrono::milliseconds(0)};

struct Bench {
    fs::path library;
    fs::path work;
    Preferences preferences{work / "preferences.json"};
    std::unique_ptr<AudioTranscoder> audio =
        std::make_unique<AudioTranscoder>(work / "cache", std::nullopt, kNoLimit);
    std::unique_ptr<PictureTranscoder> pictures = std::make_unique<PictureTranscoder>(
        preferences, work / "cache", std::nullopt, std::nullopt, kNoLimit);

    std::unique_ptr<ShareModel> makeModel() {
        if (!preferences.set("folder", library.string())) {
            throw std::runtime_error("cannot store the library folder");
        }
        auto model = std::make_unique<ShareModel>(preferences, *audio, *pictures);
        waitForScan(*model);
        model->library().setTableWidth(1200);
        return model;
    }
};

struct RescanTimes {
    double whole = 0;    // from rescan() to the model having taken the result
    double handOver = 0; // the GUI thread taking the result, wall time
    double guiCpu = 0;   // the GUI thread's CPU over the whole rescan
};

RescanTimes rescan(ShareModel& model, HandOverProbe& probe) {
    const double cpu = threadCpuMs();
    const auto start = Clock::now();
    model.library().rescan();
    waitForScan(model);
    const auto end = Clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(),
            std::chrono::duration<double, std::milli>(end - probe.arrived).count(),
            threadCpuMs() - cpu};
}

constexpr SortKey kKeys[] = {SortKey::type,     SortKey::boot,   SortKey::name,
                             SortKey::folder,   SortKey::volume, SortKey::created,
                             SortKey::modified, SortKey::size,   SortKey::blocks};

double timeSort(ShareModel& model, SortKey key) {
    const auto start = Clock::now();
    model.library().setSort(key);
    return millisecondsSince(start);
}

// What the model holds for the library, measured with a model and transcoders of its
// own after the others are gone, so that what the process allocates once for good (ICU,
// fonts, the first scan's caches) is not counted. The pending conversions it queues are.
double memoryMB(Bench& bench) {
    bench.audio = std::make_unique<AudioTranscoder>(bench.work / "cache", std::nullopt, kNoLimit);
    bench.pictures = std::make_unique<PictureTranscoder>(bench.preferences, bench.work / "cache",
                                                         std::nullopt, std::nullopt, kNoLimit);
    malloc_trim(0);
    const double baseline = allocatedMB();
    auto model = bench.makeModel();
    const double held = allocatedMB() - baseline;
    std::printf("memory: %d rows; scan, table, index, text widths, item model and %zu queued "
                "conversions %.1f MB\n",
                model->library().tableModel().rowCount(),
                model->library().contents().pendingAudio().size() +
                    model->library().contents().pendingPics().size(),
                held);
    return held;
}

void printRound(const char* label, const RescanTimes& t, double sortMedian, double sortMax) {
    std::printf("%6s %9.1f %10.1f %9.1f %9.1f %9.1f\n", label, t.whole, t.handOver, t.guiCpu,
                sortMedian, sortMax);
}

int measure(Bench& bench, int runs) {
    auto model = bench.makeModel();
    auto* scanner = model->findChild<LibraryScanner*>();
    HandOverProbe probe(scanner);
    qApp->installEventFilter(&probe);
    std::printf("%6s %9s %10s %9s %9s %9s\n", "run", "rescan", "hand-over", "GUI CPU", "sort med",
                "sort max");
    printRound("first", rescan(*model, probe), 0, 0); // warms the caches
    std::vector<double> wholes, handOvers, cpus, sortMedians, sortMaxes;
    for (int run = 1; run <= runs; ++run) {
        const RescanTimes t = rescan(*model, probe);
        std::vector<double> round;
        for (SortKey key : kKeys) {
            round.push_back(timeSort(*model, key));
        }
        wholes.push_back(t.whole);
        handOvers.push_back(t.handOver);
        cpus.push_back(t.guiCpu);
        sortMedians.push_back(median(round));
        sortMaxes.push_back(*std::max_element(round.begin(), round.end()));
        printRound(std::to_string(run).c_str(), t, sortMedians.back(), sortMaxes.back());
    }
    qApp->removeEventFilter(&probe);
    const int rows = model->library().tableModel().rowCount();
    std::printf("%d rows; medians in ms:\n", rows);
    const double handOver = median(handOvers), cpu = median(cpus), sort = median(sortMaxes);
    std::printf("  rescan() until the model has the result %.1f (the walk runs on the worker)\n",
                median(wholes));
    std::printf("  GUI thread taking the result (index, layout, item model) %.1f, "
                "its CPU over the whole rescan %.1f (goal <= %.0f: %s)\n",
                handOver, cpu, kRescanGoal,
                std::max(handOver, cpu) <= kRescanGoal ? "met" : "missed");
    std::printf("  slowest header click of a round %.1f (goal <= %.0f: %s)\n", sort, kSortGoal,
                sort <= kSortGoal ? "met" : "missed");
    const bool complete = rows >= kImages;
    model.reset();
    const double mb = memoryMB(bench);
    std::printf("memory %.1f MB (goal < %.0f: %s)\n", mb, kMemoryGoalMB,
                mb < kMemoryGoalMB ? "met" : "missed");
    return complete ? 0 : 1;
}

fs::path temporaryFolder(const char* name) {
    std::string pattern = (fs::temp_directory_path() / name).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        fail("cannot create a temporary folder");
    }
    return pattern;
}

int run(const fs::path& library, const fs::path& work, int runs) {
    if (fs::is_empty(library)) {
        const auto start = Clock::now();
        generate(library);
        std::printf("library: %s (generated in %.0f ms)\n", library.c_str(),
                    millisecondsSince(start));
    } else {
        std::printf("library: %s (existing, used as it is)\n", library.c_str());
    }
    installStandInTools(work / "bin");
    Bench bench{library, work};
    const int status = runs > 0 ? measure(bench, runs) : 0;
    return measureGuiStalls(bench.preferences, *bench.audio, *bench.pictures, library) | status;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc > 3 || (argc > 1 && std::string(argv[1]).starts_with("-"))) {
        std::fprintf(stderr, "usage: desktop-bench [LIBRARY-FOLDER [RUNS]]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(0, std::atoi(argv[2])) : kDefaultRuns;
    fs::path library, work;
    const bool temporary = argc < 2;
    int status = 1;
    try {
        // Preferences and caches of its own: the user's are neither read nor changed.
        work = temporaryFolder("desktop-bench-work-XXXXXX");
        setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (work / "cache").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", work.c_str(), 1); // mkdtemp made it private, as Qt wants
        int qtArgc = 1;
        QGuiApplication app(qtArgc, argv);
        library = temporary ? temporaryFolder("desktop-bench-XXXXXX") : fs::path(argv[1]);
        fs::create_directories(library);
        status = run(library, work, runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "desktop-bench: %s\n", e.what());
    }
    std::error_code ignored;
    if (temporary && !library.empty()) {
        fs::remove_all(library, ignored);
    }
    if (!work.empty()) {
        fs::remove_all(work, ignored);
    }
    return status;
}
