// Times what the desktop does on the GUI thread with the benchmark library (10,000 disk
// images, 20,000 other files): a rescan (walk, probe and the three catalogs) followed by
// the table's index, the automatic column layout and the item model's refresh; and one
// header click per sort key with the model's refresh. Rounds of rescans and of sorts
// alternate; medians are printed with the goals, and the memory the table and its model
// hold for that library.

#include "audio/AudioTranscoder.h"
#include "model/LibraryContents.h"
#include "model/LibraryTable.h"
#include "model/LibraryTableModel.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "support/GeneratedLibrary.h"

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <memory>
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

// The converters the program would have, with the pictures' knobs read from preferences
// of the benchmark's own (none stored: every picture at its default knobs).
Converters converters() {
    static Preferences preferences(fs::temp_directory_path() / "desktop-bench-preferences.json");
    static const std::unique_ptr<AudioTranscoder> audio = AudioTranscoder::found();
    static const std::unique_ptr<PictureTranscoder> pictures =
        PictureTranscoder::found(preferences);
    return {*audio, *pictures};
}

struct Window {
    LibraryTable table;
    LibraryTableModel model{table};
};

struct RescanTimes {
    double scan = 0;
    double index = 0;
    double layout = 0;
    double model = 0;
    double gui() const { return index + layout + model; }
};

RescanTimes rescan(Window& w, const fs::path& library) {
    RescanTimes t;
    auto start = Clock::now();
    auto contents =
        std::make_shared<const LibraryContents>(LibraryContents::scan(converters(), library, true));
    t.scan = millisecondsSince(start);
    start = Clock::now();
    w.table.setContents(std::move(contents));
    t.index = millisecondsSince(start);
    start = Clock::now();
    w.table.autoLayoutColumns();
    t.layout = millisecondsSince(start);
    start = Clock::now();
    w.model.refresh();
    t.model = millisecondsSince(start);
    return t;
}

constexpr SortKey kKeys[] = {SortKey::type,     SortKey::boot,   SortKey::name,
                             SortKey::folder,   SortKey::volume, SortKey::created,
                             SortKey::modified, SortKey::size,   SortKey::blocks};

double timeSort(Window& w, SortKey key) {
    const auto start = Clock::now();
    w.table.setSort(key);
    w.model.refresh();
    return millisecondsSince(start);
}

// What the window holds for the library: the scanned lists, then the table with its
// index and text widths, and the item model. Run after the others, so that what a first
// scan allocates once for the whole process (the tools probe) is not counted.
double memoryMB(const fs::path& library) {
    malloc_trim(0);
    const double baseline = allocatedMB();
    auto contents =
        std::make_shared<const LibraryContents>(LibraryContents::scan(converters(), library, true));
    const double lists = allocatedMB() - baseline;
    auto w = std::make_unique<Window>();
    w->table.setContents(contents);
    w->table.setTableWidth(1200);
    w->model.refresh();
    const double table = allocatedMB() - baseline - lists;
    std::printf("memory: lists %.1f MB + table, index, text widths and model %.1f MB\n", lists,
                table);
    return lists + table;
}

void printRound(const char* label, const RescanTimes& t, double sortMedian, double sortMax) {
    std::printf("%6s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %9.1f %9.1f\n", label, t.scan, t.index,
                t.layout, t.model, t.gui(), t.scan + t.gui(), sortMedian, sortMax);
}

int measure(const fs::path& library, int runs) {
    auto window = std::make_unique<Window>();
    Window& w = *window;
    std::printf("%6s %8s %8s %8s %8s %8s %8s %9s %9s\n", "run", "scan", "index", "layout", "model",
                "GUI", "all", "sort med", "sort max");
    printRound("first", rescan(w, library), 0, 0); // warms the caches and the tools probe
    std::vector<double> scans, guis, alls, sortMedians, sortMaxes;
    for (int run = 1; run <= runs; ++run) {
        const RescanTimes t = rescan(w, library);
        std::vector<double> round;
        for (SortKey key : kKeys) {
            round.push_back(timeSort(w, key));
        }
        scans.push_back(t.scan);
        guis.push_back(t.gui());
        alls.push_back(t.scan + t.gui());
        sortMedians.push_back(median(round));
        sortMaxes.push_back(*std::max_element(round.begin(), round.end()));
        printRound(std::to_string(run).c_str(), t, sortMedians.back(), sortMaxes.back());
    }
    std::printf("%zu rows; medians in ms:\n", std::size_t(w.model.rowCount()));
    const double gui = median(guis), all = median(alls), sort = median(sortMaxes);
    std::printf("  scan %.1f, then table and model on the GUI thread %.1f\n", median(scans), gui);
    std::printf("  rescan + layout all on the GUI thread %.1f (goal <= %.0f: %s)\n", all,
                kRescanGoal, all <= kRescanGoal ? "met" : "missed");
    std::printf("  GUI thread's share with the scan on a worker %.1f (goal <= %.0f: %s)\n", gui,
                kRescanGoal, gui <= kRescanGoal ? "met" : "missed");
    std::printf("  slowest header click of a round %.1f (goal <= %.0f: %s)\n", sort, kSortGoal,
                sort <= kSortGoal ? "met" : "missed");
    const bool complete = w.model.rowCount() >= kImages;
    window.reset();
    const double mb = memoryMB(library);
    std::printf("memory %.1f MB (goal < %.0f: %s)\n", mb, kMemoryGoalMB,
                mb < kMemoryGoalMB ? "met" : "missed");
    return complete ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc > 3 || (argc > 1 && std::string(argv[1]).starts_with("-"))) {
        std::fprintf(stderr, "usage: desktop-bench [LIBRARY-FOLDER [RUNS]]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRuns;
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    fs::path library;
    bool temporary = argc < 2;
    int status = 1;
    try {
        if (temporary) {
            std::string pattern = (fs::temp_directory_path() / "desktop-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()) == nullptr) {
                fail("cannot create a temporary folder");
            }
            library = pattern;
        } else {
            library = argv[1];
            fs::create_directories(library);
        }
        if (fs::is_empty(library)) {
            const auto start = Clock::now();
            generate(library);
            std::printf("library: %s (generated in %.0f ms)\n", library.c_str(),
                        millisecondsSince(start));
        } else {
            std::printf("library: %s (existing, used as it is)\n", library.c_str());
        }
        status = measure(library, runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "desktop-bench: %s\n", e.what());
    }
    if (temporary && !library.empty()) {
        std::error_code ignored;
        fs::remove_all(library, ignored);
    }
    return status;
}
