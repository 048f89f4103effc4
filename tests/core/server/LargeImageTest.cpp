// An image past 4 GiB, served and written over loopback. Offsets and sizes travel as 64-bit
// numbers from the Range and Content-Range lines to pread and pwrite; on a 32-bit system
// (armhf: 32-bit size_t and long, and off_t unless built for large files) any narrower
// step on the way would read or write the block 4 GiB lower, or refuse the image.

#include "scan/LibraryScan.h"
#include "server/ShareServer.h"

#include "support/HttpClient.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vorn {
namespace {

constexpr std::uint64_t kFourGiB = std::uint64_t(1) << 32;
constexpr std::uint64_t kSize = kFourGiB + (1 << 20); // sparse: takes no room on disk

std::string readAt(const std::filesystem::path& file, std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? -1 : pread(fd, bytes.data(), size, off_t(offset));
    if (fd >= 0) {
        close(fd);
    }
    bytes.resize(n < 0 ? 0 : std::size_t(n));
    return bytes;
}

TEST(LargeImageTest, BlocksPastFourGiBAreReadAndWrittenWhereTheyAre) {
    test::TempDir dir;
    const auto image = dir.mkdir("lib") / "Huge.po";
    const std::uint64_t readOffset = kFourGiB + 7 * 512;
    const std::string stored = test::pattern(512, 3);
    {
        const int fd = open(image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const bool made = ftruncate(fd, off_t(kSize)) == 0 &&
                          pwrite(fd, stored.data(), stored.size(), off_t(readOffset)) == 512;
        close(fd);
        ASSERT_TRUE(made) << "cannot make a sparse image of " << kSize << " bytes here";
    }
    test::IdleConverters converters;
    ShareServer server(LibraryScan::run(converters.get(), dir / "lib", true), false, "Vorn Test",
                       std::nullopt, converters.get());
    server.start(0);
    test::HttpClient client(server.status().port);

    const auto head = client.request("HEAD /Huge.po HTTP/1.1\r\nHost: box\r\n\r\n", true);
    ASSERT_TRUE(head && head->status == 200) << "the image past 4 GiB should be listed";
    EXPECT_EQ(head->header("Content-Length"), std::to_string(kSize));

    const auto read = client.ask(test::get("/Huge.po", test::range(readOffset, readOffset + 511)));
    EXPECT_EQ(read.status, 206);
    EXPECT_EQ(read.header("Content-Range"), "bytes " + std::to_string(readOffset) + "-" +
                                                std::to_string(readOffset + 511) + "/" +
                                                std::to_string(kSize));
    EXPECT_TRUE(read.body == stored) << "the block at 4 GiB + 7 blocks came from elsewhere";

    const std::uint64_t writeOffset = kSize - 512;
    const std::string written = test::pattern(512, 9);
    EXPECT_EQ(client.ask(test::putRequest("/Huge.po", writeOffset, written, kSize)).status, 200);
    EXPECT_TRUE(readAt(image, writeOffset, 512) == written)
        << "the last block was not written in its place";
    EXPECT_TRUE(readAt(image, writeOffset - kFourGiB, 512) == std::string(512, '\0'))
        << "the write landed 4 GiB too low";
}

} // namespace
} // namespace vorn
