#include "platform/ChangeBatch.h"
#include "platform/FolderWatcher.h"

#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vorn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The batching rule on a clock of the test's own: exact, however busy the machine.
TEST(ChangeBatchTest, OneReportPerBurstAndOneAfterTheLastChangeOfAStream) {
    const Clock::time_point t0;
    ChangeBatch burst(300ms);
    int reports = 0;
    for (int ms = 0; ms <= 1000; ms += 10) {
        if (ms < 200) {
            burst.changed(t0 + std::chrono::milliseconds(ms)); // twenty changes in 0.2 s
        }
        reports += burst.take(t0 + std::chrono::milliseconds(ms)) ? 1 : 0;
    }
    EXPECT_EQ(reports, 1) << "one burst of changes must cause one report";

    // A change every 60 ms for longer than the 150 ms latency: reports come in between,
    // and one must follow the last change, or the final state is never seen.
    ChangeBatch stream(150ms);
    std::vector<int> reportedAt;
    for (int ms = 0; ms <= 2000; ms += 10) {
        if (ms % 60 == 0 && ms < 720) {
            stream.changed(t0 + std::chrono::milliseconds(ms));
        }
        if (stream.take(t0 + std::chrono::milliseconds(ms))) {
            reportedAt.push_back(ms);
        }
    }
    ASSERT_FALSE(reportedAt.empty());
    EXPECT_GT(reportedAt.back(), 660) << "no report followed the last change, at 660 ms";
    EXPECT_LT(reportedAt.size(), 12u) << "changes within the latency should be batched";
    EXPECT_FALSE(stream.due()) << "a report is still due with no change left";
}

// Records when the watcher reported, so a test can wait for a report after a change.
class Reports {
public:
    FolderWatcher::ChangeFn callback() {
        return [this] {
            std::lock_guard lock(m_mutex);
            m_times.push_back(Clock::now());
            m_cv.notify_all();
        };
    }
    // The first report after `since`, waiting for it for up to ten seconds (a waiting test
    // ends as soon as it comes, so the limit only bounds a failure).
    std::optional<Clock::time_point> after(Clock::time_point since) {
        std::unique_lock lock(m_mutex);
        const auto later = [&] { return !m_times.empty() && m_times.back() > since; };
        if (!m_cv.wait_for(lock, 10s, later)) {
            return std::nullopt;
        }
        return *std::find_if(m_times.begin(), m_times.end(),
                             [&](Clock::time_point t) { return t > since; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Clock::time_point> m_times;
};

// A hidden file is no change: the report comes a latency after the visible file that
// followed it, not after the hidden one. A busy machine only delays a report, so the lower
// bound holds however slowly the test runs.
TEST(FolderWatcherTest, HiddenNamesAreNoChangeAndNewFoldersAreWatched) {
    test::TempDir library;
    Reports reports;
    FolderWatcher watcher(library.path(), reports.callback(), 400ms);
    ASSERT_TRUE(watcher.watching());

    const auto begun = Clock::now();
    library.write(".hidden.part", "x");
    std::this_thread::sleep_for(200ms);
    const auto visible = Clock::now();
    library.mkdir("Games/Arcade");
    const auto first = reports.after(begun);
    ASSERT_TRUE(first) << "the new folders were never reported";
    EXPECT_GE(*first - visible, 400ms) << "the hidden file started the wait for a report";

    const auto written = Clock::now();
    library.write("Games/Arcade/Pong.po", std::string(512, 'x'));
    EXPECT_TRUE(reports.after(written))
        << "a file written into a folder made after the watch began was not reported";
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
        const auto before = Clock::now();
        change();
        EXPECT_TRUE(reports.after(before)) << step << " was not reported";
    };
    changeAndWait("deleting the folder", [&] { std::filesystem::remove_all(library); });
    changeAndWait("making it again", [&] { dir.mkdir("lib"); });
    changeAndWait("a file in the new folder", [&] { dir.write("lib/a.po", "x"); });
}

} // namespace
} // namespace vorn
