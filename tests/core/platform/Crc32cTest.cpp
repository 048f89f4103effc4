// The checksum must be CRC-32C exactly, not a near relative: journals written by one build
// are read by the next.

#include "platform/Crc32c.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(Crc32cTest, MatchesTheStandardCheckValuesInOneGoAndInPieces) {
    EXPECT_EQ(Crc32c::of("123456789"), 0xE306'9283u) << "the standard check value";
    EXPECT_EQ(Crc32c::of(std::string(32, '\0')), 0x8A91'36AAu) << "32 zero bytes (RFC 3720)";
    EXPECT_EQ(Crc32c::of("6789", Crc32c::of("12345")), 0xE306'9283u) << "continued";
    EXPECT_EQ(Crc32c::of(""), 0u);
}

} // namespace
} // namespace vorn
