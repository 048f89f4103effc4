// Times FolderWalk::files + DiskCatalog::scan over a generated library of 10,000 disk images
// and 20,000 other files, against the least I/O any scan must do: listing every file and
// reading the head of every image, done by find and head in one shell command. Both run
// alternately on a warm cache; the medians and their ratio are printed.

#include "library/DiskCatalog.h"
#include "library/DiskImage.h"
#include "library/FolderWalk.h"
#include "support/GeneratedLibrary.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace vorn;
using namespace vorn::bench;

namespace {

constexpr int kDefaultRuns = 7;
constexpr double kGoal = 1.5;

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Every file listed, and the head of every image read by as few head processes as
// the argument limit allows.
std::string floorCommand(const fs::path& root) {
    const std::string lib = shellQuoted(root.string());
    return "find " + lib + " -type f >/dev/null && find " + lib +
           " -type f \\( -name '*.po' -o -name '*.hdv' -o -name '*.2mg' \\) -exec head -c " +
           std::to_string(DiskImage::headBytes) + " {} + >/dev/null";
}

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double timeFloor(const std::string& command) {
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        fail("cannot start /bin/sh");
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail("the floor command failed: " + command);
    }
    return millisecondsSince(start);
}

// What the last scan found, to show that the probe really walked the directories.
struct Found {
    std::size_t images = 0;
    std::size_t bootable = 0;
    std::size_t named = 0;
};

double timeScan(const fs::path& root, Found& found) {
    const auto start = Clock::now();
    const DiskCatalog catalog = DiskCatalog::scan(FolderWalk::files(root), false);
    const double ms = millisecondsSince(start);
    found = {catalog.images().size(), 0, 0};
    for (const DiskImage& image : catalog.images()) {
        found.bootable += image.bootable ? 1 : 0;
        found.named += image.volumeName ? 1 : 0;
    }
    return ms;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct Options {
    fs::path library;
    bool temporary = true;
    int runs = kDefaultRuns;
};

Options parseArguments(int argc, char** argv) {
    Options options;
    if (argc > 3 ||
        (argc > 1 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
        std::fprintf(stderr, "usage: scan-bench [LIBRARY-FOLDER [RUNS]]\n");
        std::exit(2);
    }
    if (argc > 1) {
        options.library = argv[1];
        options.temporary = false;
    }
    if (argc > 2) {
        options.runs = std::atoi(argv[2]);
        if (options.runs < 1) {
            std::fprintf(stderr, "scan-bench: RUNS must be a positive number\n");
            std::exit(2);
        }
    }
    return options;
}

// A fresh folder is filled; a folder that already holds files is taken to be a library
// this program generated before and is scanned as it is.
void prepareLibrary(Options& options) {
    if (options.temporary) {
        std::string pattern = (fs::temp_directory_path() / "scan-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            fail("cannot create a temporary folder");
        }
        options.library = pattern;
    }
    fs::create_directories(options.library);
    if (!fs::is_empty(options.library)) {
        std::printf("library: %s (existing, used as it is)\n", options.library.c_str());
        return;
    }
    const auto start = Clock::now();
    generate(options.library);
    std::printf("library: %s (%d images, %d other files, %d folders; generated in %.0f ms)\n",
                options.library.c_str(), kImages, kOtherFiles, kTopFolders * kSubFolders,
                millisecondsSince(start));
}

// Runs the warm-up and the alternating measurements; the exit status of the program.
int measure(const Options& options) {
    const std::string floor = floorCommand(options.library);
    Found found;
    timeFloor(floor); // warms the page and dentry caches for both
    timeScan(options.library, found);
    std::vector<double> ours, floors;
    std::printf("%4s %10s %10s\n", "run", "ours ms", "floor ms");
    for (int run = 1; run <= options.runs; ++run) {
        ours.push_back(timeScan(options.library, found));
        floors.push_back(timeFloor(floor));
        std::printf("%4d %10.1f %10.1f\n", run, ours.back(), floors.back());
    }
    const double oursMedian = median(ours), floorMedian = median(floors);
    const double ratio = oursMedian / floorMedian;
    std::printf("median over %d runs: ours %.1f ms, floor %.1f ms, ratio %.2f (goal <= %.1f: %s)\n",
                options.runs, oursMedian, floorMedian, ratio, kGoal,
                ratio <= kGoal ? "met" : "missed");
    std::printf("images found: %zu (expected %d), bootable %zu, with a volume name %zu\n",
                found.images, kImages, found.bootable, found.named);
    return found.images == std::size_t(kImages) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options = parseArguments(argc, argv);
    int status = 1;
    try {
        prepareLibrary(options);
        status = measure(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "scan-bench: %s\n", e.what());
    }
    if (options.temporary && !options.library.empty()) {
        std::error_code ignored;
        fs::remove_all(options.library, ignored);
    }
    return status;
}
