#include "platform/SerialQueue.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

namespace vorn {
namespace {

TEST(SerialQueueTest, ATaskThatThrowsLeavesTheWorkerRunning) {
    SerialQueue queue("vorn-test");
    std::atomic<int> ran{0};
    queue.async([] { throw std::runtime_error("a task fails"); });
    queue.async([] { throw 42; });
    queue.async([&ran] { ++ran; });
    queue.drain();
    EXPECT_EQ(ran, 1) << "the task queued after the failing ones never ran";
}

} // namespace
} // namespace vorn
