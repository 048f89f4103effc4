#include "server/WriterWatch.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(WriterWatchTest, WarnsAtMostOnceAMinuteWhenTwoPeersWriteWithinTenSeconds) {
    struct Step {
        int second;
        const char* image;
        const char* peer;
        const char* warning; // nullptr: none
    };
    const std::vector<Step> steps{
        {0, "A.po", "10.0.0.1", nullptr},
        {3, "A.po", "10.0.0.1", nullptr},  // one card alone, however often
        {14, "A.po", "10.0.0.2", nullptr}, // 11 s after the other: one after the other
        {18, "A.po", "", nullptr},         // no address, no writer
        {18, "A.po", "10.0.0.1", "warning: two cards writing A.po: 10.0.0.2 and 10.0.0.1"},
        {20, "A.po", "10.0.0.2", nullptr}, // warned 2 s ago
        {21, "B.po", "10.0.0.3", nullptr},
        {25, "B.po", "10.0.0.2", "warning: two cards writing B.po: 10.0.0.3 and 10.0.0.2"},
        {77, "A.po", "10.0.0.1", nullptr},
        {78, "A.po", "10.0.0.2", "warning: two cards writing A.po: 10.0.0.1 and 10.0.0.2"},
    };
    WriterWatch watch;
    const WriterWatch::Clock::time_point start{std::chrono::hours(5)};
    for (const auto& [second, image, peer, warning] : steps) {
        const auto said = watch.noteWrite(image, peer, start + std::chrono::seconds(second));
        EXPECT_EQ(said.value_or("none"), warning ? warning : "none")
            << image << " from '" << peer << "' at " << second << " s";
    }
}

} // namespace
} // namespace vorn
