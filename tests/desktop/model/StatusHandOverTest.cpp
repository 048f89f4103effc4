// The hand-over of the server's statuses: one status waits while the others go by, the
// GUI thread learns that they did, and under a flood from another thread the last status
// arrives once the GUI thread asks for it as the server would be asked.

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

TEST(StatusHandOverTest, OneStatusWaitsAndTheOthersAreNoted) {
    StatusHandOver handOver;
    ShareStatus full = withRequests(1);
    full.running = true;
    full.port = 8271;
    full.bytesServed = 512;
    full.lastError = "listener failed";
    full.recentLines.append("12:00:00  catalog page 1");
    full.lastRead.set("Games/Game.po", Date(std::chrono::seconds(1)));
    full.lastWrite.set("Games/Game.po", Date(std::chrono::seconds(2)));
    EXPECT_TRUE(handOver.put(full)) << "the first status schedules a hand-over";
    EXPECT_FALSE(handOver.put(withRequests(2))) << "one is already waiting";
    const auto first = handOver.take();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, full) << "every part of the status arrives";
    EXPECT_TRUE(first->stale) << "a newer status went by";
    EXPECT_FALSE(handOver.take()) << "nothing new since";

    EXPECT_TRUE(handOver.put(withRequests(3))) << "after a take, the next status schedules";
    const auto second = handOver.take();
    EXPECT_EQ(second->status.requests, 3u);
    EXPECT_FALSE(second->stale);
}

TEST(StatusHandOverTest, TheLastStatusOfAFloodArrives) {
    constexpr std::uint64_t kStatuses = 100000;
    StatusHandOver handOver;
    std::atomic<int> scheduled{0};
    std::atomic<bool> done{false};
    const auto put = [&](std::uint64_t n) {
        if (handOver.put(withRequests(n))) {
            scheduled.fetch_add(1); // stands for the post to the GUI thread
        }
    };
    std::thread server([&] {
        for (std::uint64_t n = 1; n <= kStatuses; ++n) {
            put(n);
        }
        done = true;
    });
    // The GUI thread runs each scheduled hand-over, whenever it gets to it.
    int ran = 0;
    std::uint64_t newest = 0;
    bool askServer = false;
    const auto runScheduled = [&] {
        while (ran < scheduled.load()) {
            ++ran;
            if (const auto taken = handOver.take()) {
                ASSERT_GT(taken->status.requests, newest) << "statuses arrive in order";
                newest = taken->status.requests;
                askServer = taken->stale;
            }
        }
    };
    while (!done.load()) {
        runScheduled();
    }
    server.join();
    runScheduled();
    if (askServer) {
        put(kStatuses); // what the server does when asked for its status again
        runScheduled();
    }
    EXPECT_EQ(newest, kStatuses) << "the last status was left behind";
}

} // namespace
} // namespace vorn
