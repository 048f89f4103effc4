#include "server/LogLines.h"

#include "server/ShareStatus.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

std::vector<std::string> numbered(int from, int to) {
    std::vector<std::string> lines;
    for (int i = from; i <= to; ++i) {
        lines.push_back("line " + std::to_string(i));
    }
    return lines;
}

TEST(LogLinesTest, KeepsTheNewestTwoHundredLines) {
    LogLines log;
    for (int i = 1; i <= 1000; ++i) {
        log.append("line " + std::to_string(i));
        ASSERT_EQ(log.all(), numbered(std::max(1, i - 199), i)) << "after line " << i;
    }
    EXPECT_EQ(log.last(3), numbered(998, 1000));
    EXPECT_EQ(log.last(5000).size(), 200u);
    EXPECT_EQ(log.appended(), 1000u) << "dropped lines still count as appended";
}

// The server hands out a copy after every request and goes on appending to its own.
TEST(LogLinesTest, CopiesDoNotSeeLaterLines) {
    LogLines log;
    std::vector<LogLines> copies;
    for (int i = 1; i <= 450; ++i) {
        if (i % 7 == 0) {
            copies.push_back(log);
        }
        log.append("line " + std::to_string(i));
    }
    for (std::size_t c = 0; c < copies.size(); ++c) {
        const int taken = int(c + 1) * 7; // before line `taken` was appended
        EXPECT_EQ(copies[c].all(), numbered(std::max(1, taken - 200), taken - 1))
            << "copy " << c << " changed after it was taken";
    }
    LogLines copy = log;
    copy.append("only in the copy");
    EXPECT_EQ(log.all(), numbered(251, 450)) << "appending to a copy changed the original";
    EXPECT_EQ(copy.last(1), std::vector<std::string>{"only in the copy"});
}

TEST(LogLinesTest, ItemDateCopiesAreIsolated) {
    const Date t1 = Date(std::chrono::seconds(100)), t2 = Date(std::chrono::seconds(200));
    ShareStatus status;
    EXPECT_EQ(status.lastWrite.find("a.po"), std::nullopt);
    status.lastWrite.set("a.po", t1);
    const ShareStatus published = status;
    EXPECT_EQ(published, status);
    status.lastWrite.set("a.po", t2);
    status.lastWrite.set("b.po", t1);
    EXPECT_EQ(published.lastWrite.find("a.po"), t1) << "the copy saw a later change";
    EXPECT_EQ(published.lastWrite.size(), 1u);
    EXPECT_EQ(status.lastWrite.find("a.po"), t2);
    EXPECT_NE(published, status);
}

} // namespace
} // namespace vorn
