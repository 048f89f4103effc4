#include "convert/ConversionWorker.h"

#include "support/TempDir.h"

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A tool whose runs wait until they are let go, counting how many run at once.
class GatedTool : public ConversionTool {
public:
    std::string_view failedText() const override { return "gated failed"; }
    bool complete(const fs::path& file) const override { return fs::exists(file); }
    std::optional<ConversionFailure> convert(const Run& run) override {
        std::unique_lock lock(m_mutex);
        ++m_runs;
        m_most = std::max(m_most, ++m_running);
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        --m_running;
        std::ofstream(run.part) << "done";
        return std::nullopt;
    }
    bool waitRunning(int count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 5s, [&] { return m_running == count; });
    }
    void open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    int runs() const { return m_runs; }
    int most() const { return m_most; }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_running = 0, m_runs = 0, m_most = 0;
    bool m_open = false;
};

TEST(ConversionWorkerTest, JobsRunSideBySideAndAFileQueuedTwiceConvertsOnce) {
    test::TempDir dir;
    ConversionCache cache(dir / "cache");
    GatedTool tool;
    ConversionWorker worker("test", cache, tool, {}, 3);
    std::atomic<int> ready{0};
    for (const std::string name : {"a", "b", "a", "c", "c"}) {
        worker.queue({dir.write(name, "x"),
                      dir / "cache" / (name + ".out"),
                      {"tool"},
                      {},
                      false,
                      [&] { ++ready; },
                      {}});
    }
    EXPECT_TRUE(tool.waitRunning(3)) << "the three job slots did not convert at once";
    tool.open();
    worker.drain();
    EXPECT_EQ(tool.runs(), 3) << "a file queued again while waiting or converting ran twice";
    EXPECT_EQ(tool.most(), 3) << "more conversions ran at once than job slots";
    EXPECT_EQ(ready, 3);
    EXPECT_TRUE(fs::exists(dir / "cache/c.out"));
}

} // namespace
} // namespace vorn
