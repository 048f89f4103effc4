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
    ShareStatus full = withRequests(3);
    full.running = true;
    full.port = 8271;
    full.bytesServed = 512;
    full.lastError = "listener failed";
    full.recentLines.append("12:00:00  catalog page 1");
    full.lastRead.set("Games/Game.po", Date(std::chrono::seconds(1)));
    full.lastWrite.set("Games/Game.po", Date(std::chrono::seconds(2)));
    EXPECT_FALSE(handOver.put(full));
    EXPECT_EQ(handOver.take(), full) << "every part of the newest status arrives";
    EXPECT_FALSE(handOver.take()) << "nothing new since";
    EXPECT_TRUE(handOver.put(withRequests(4))) << "after a take, the next status schedules again";
}

// The server floods while the GUI thread takes: whatever the interleaving, the last
// status is delivered. (The narrower race, a status put between the GUI thread's take and
// its re-arming, is ruled out by the order of the two steps in take(); a test that hit it
// reliably needed minutes on a loaded machine.)
TEST(StatusHandOverTest, TheLastStatusOfAFloodArrives) {
    constexpr std::uint64_t kStatuses = 100000;
    StatusHandOver handOver;
    std::atomic<int> scheduled{0};
    std::atomic<bool> done{false};
    std::thread server([&] {
        for (std::uint64_t n = 1; n <= kStatuses; ++n) {
            if (handOver.put(withRequests(n))) {
                scheduled.fetch_add(1); // stands for the post to the GUI thread
            }
        }
        done = true;
    });
    // The GUI thread runs each scheduled hand-over, whenever it gets to it.
    int ran = 0;
    std::uint64_t newest = 0;
    const auto runScheduled = [&] {
        while (ran < scheduled.load()) {
            ++ran;
            if (const auto status = handOver.take()) {
                ASSERT_GT(status->requests, newest) << "statuses arrive in order";
                newest = status->requests;
            }
        }
    };
    while (!done.load()) {
        runScheduled();
    }
    server.join();
    runScheduled();
    EXPECT_EQ(newest, kStatuses) << "the last status was left behind";
}

} // namespace
} // namespace vorn
