// The hand-over of the server's statuses: a waiting hand-over absorbs newer statuses,
// and under a flood from another thread the last status put is never left behind.

#include "model/StatusHandOver.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace vorn {
namespace {

ShareStatus withRequests(std::uint64_t n) {
    ShareStatus status;
    status.requests = n;
    return status;
}

TEST(StatusHandOverTest, OneWaitingHandOverCarriesTheNewest) {
    StatusHandOver handOver;
    EXPECT_TRUE(handOver.put(withRequests(1))) << "the first status schedules a hand-over";
    EXPECT_FALSE(handOver.put(withRequests(2))) << "one is already waiting";
    EXPECT_FALSE(handOver.put(withRequests(3)));
    EXPECT_EQ(handOver.take()->requests, 3u);
    EXPECT_FALSE(handOver.take()) << "nothing new since";
    EXPECT_TRUE(handOver.put(withRequests(4))) << "after a take, the next status schedules again";
}

// Many short bursts, each ending while the GUI thread may be in the middle of a take:
// after each burst the GUI thread must get the burst's last status without any further
// status coming to schedule it.
TEST(StatusHandOverTest, TheLastStatusOfEveryBurstArrives) {
    constexpr int kBursts = 10000;
    constexpr std::uint64_t kBurst = 4;
    StatusHandOver handOver;
    std::atomic<int> scheduled{0};
    std::atomic<int> finished{0};
    std::atomic<int> checked{0};
    std::thread server([&] {
        for (int burst = 1; burst <= kBursts; ++burst) {
            for (std::uint64_t i = 1; i <= kBurst; ++i) {
                if (handOver.put(withRequests(std::uint64_t(burst) * kBurst + i))) {
                    scheduled.fetch_add(1); // stands for the post to the GUI thread
                }
            }
            finished = burst;
            while (checked.load() != burst) {
                std::this_thread::yield();
            }
        }
    });
    // The GUI thread runs each scheduled hand-over, whenever it gets to it.
    int ran = 0;
    std::uint64_t newest = 0;
    const auto runScheduled = [&] {
        while (ran < scheduled.load()) {
            ++ran;
            if (const auto status = handOver.take()) {
                newest = status->requests;
            }
        }
    };
    int lost = 0;
    for (int burst = 1; burst <= kBursts; ++burst) {
        while (finished.load() < burst) {
            runScheduled();
        }
        runScheduled();
        lost += newest == std::uint64_t(burst) * kBurst + kBurst ? 0 : 1;
        checked = burst;
    }
    server.join();
    EXPECT_EQ(lost, 0) << "bursts whose last status stayed behind";
}

} // namespace
} // namespace vorn
