#include "platform/FolderWatcher.h"

#include "support/TempDir.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Records when the watcher reported, so a test can wait for a report and check its timing.
class Reports {
public:
    FolderWatcher::ChangeFn callback() {
        return [this] {
            std::lock_guard lock(m_mutex);
            m_times.push_back(Clock::now());
            m_cv.notify_all();
        };
    }
    // Waits until there are at least `n` reports or `limit` passed; the count then.
    std::size_t waitFor(std::size_t n, Clock::duration limit = 3s) {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, limit, [&] { return m_times.size() >= n; });
        return m_times.size();
    }
    std::vector<Clock::time_point> times() {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Clock::time_point> m_times;
};

TEST(FolderWatcherTest, ABurstOfChangesGivesOneReportAndHiddenNamesNone) {
    test::TempDir library;
    Reports reports;
    FolderWatcher watcher(library.path(), reports.callback(), 300ms);
    ASSERT_TRUE(watcher.watching());

    library.write(".hidden.part", "x");
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(reports.times().size(), 0u) << "a hidden file is not part of the library";

    for (int i = 0; i < 20; ++i) {
        library.write("Disk" + std::to_string(i) + ".po", std::string(512, 'x'));
    }
    ASSERT_EQ(reports.waitFor(1), 1u) << "twenty new files were never reported";
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(reports.times().size(), 1u) << "one burst of changes must cause one report";
}

TEST(FolderWatcherTest, AFolderCreatedLaterIsWatchedToo) {
    test::TempDir library;
    Reports reports;
    FolderWatcher watcher(library.path(), reports.callback(), 100ms);

    library.mkdir("Games/Arcade");
    ASSERT_EQ(reports.waitFor(1), 1u) << "the new folders were not reported";
    std::this_thread::sleep_for(200ms);
    const std::size_t before = reports.times().size();

    library.write("Games/Arcade/Pong.po", std::string(512, 'x'));
    EXPECT_GT(reports.waitFor(before + 1), before)
        << "a file written into a folder made after the watch began was not reported";
}

TEST(FolderWatcherTest, AReportFollowsTheLastChangeOfALongStream) {
    test::TempDir library;
    Reports reports;
    FolderWatcher watcher(library.path(), reports.callback(), 150ms);

    // Changes keep coming for longer than the latency: reports may come in between, but
    // the last one must come after the last change, or the final state is never seen.
    Clock::time_point lastChange;
    for (int i = 0; i < 12; ++i) {
        library.write("Track" + std::to_string(i) + ".pcm", "abc");
        lastChange = Clock::now();
        std::this_thread::sleep_for(60ms);
    }
    std::this_thread::sleep_for(600ms);
    const std::vector<Clock::time_point> times = reports.times();
    ASSERT_FALSE(times.empty());
    EXPECT_GT(times.back(), lastChange) << "no report followed the last change";
    EXPECT_LT(times.size(), 12u) << "changes within the latency should be batched";
}

// The watch follows the path: a folder deleted and made again is watched anew (renames and
// mounts are the share's tests), and a callback that throws ends neither the watch nor
// the process.
TEST(FolderWatcherTest, FollowsTheFolderAtItsPathAndSurvivesAThrowingCallback) {
    test::TempDir dir;
    const std::filesystem::path library = dir.mkdir("lib");
    Reports reports;
    bool thrown = false;
    FolderWatcher watcher(
        library,
        [&, report = reports.callback()] {
            report();
            if (!std::exchange(thrown, true)) {
                throw std::runtime_error("the first report fails");
            }
        },
        100ms);

    const auto changeAndWait = [&](const std::string& step, const auto& change) {
        std::this_thread::sleep_for(300ms);
        const std::size_t before = reports.times().size();
        change();
        EXPECT_GT(reports.waitFor(before + 1), before) << step << " was not reported";
    };
    changeAndWait("deleting the folder", [&] { std::filesystem::remove_all(library); });
    changeAndWait("making it again", [&] { dir.mkdir("lib"); });
    changeAndWait("a file in the new folder", [&] { dir.write("lib/a.po", "x"); });
}

} // namespace
} // namespace vorn
