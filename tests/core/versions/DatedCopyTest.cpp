// Dated copies on real files: what a copy that fails midway leaves behind, what a
// complete one keeps of the original, and a kernel that stops copying partway. The names
// are checked through ShareModel.

#include "versions/DatedCopy.h"

#include "support/FileSizeLimit.h"
#include "support/MediaFixtures.h"
#include "support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

// This program's copy_file_range, found before the C library's: when a test asks, it
// copies one piece and then refuses the rest, as a file system may that cannot share
// the blocks of the whole file. Otherwise it is the system call itself.
namespace {
std::atomic<bool> refuseAfterOnePiece = false;
std::atomic<int> piecesCopied = 0;
} // namespace

extern "C" ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt,
                                   size_t length, unsigned flags) {
    if (refuseAfterOnePiece && piecesCopied > 0) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const long n = syscall(SYS_copy_file_range, in, inAt, out, outAt,
                           refuseAfterOnePiece ? std::min<size_t>(length, 4096) : length, flags);
    piecesCopied += n > 0 ? 1 : 0;
    return ssize_t(n);
}

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::namesIn;

Date now() {
    return std::chrono::system_clock::now();
}

TEST(DatedCopyTest, CopyKeepsBytesPermissionsAndDate) {
    test::TempDir dir;
    const std::string bytes = test::pattern(300000);
    const fs::path game = dir.write("Game.po", bytes);
    fs::permissions(game, fs::perms(0640));
    const auto modified = fs::last_write_time(game) - std::chrono::hours(30);
    fs::last_write_time(game, modified);

    std::error_code error;
    const fs::path copy = DatedCopy::make(game, now, error);
    ASSERT_FALSE(copy.empty()) << error.message();
    EXPECT_EQ(test::slurp(copy), bytes);
    EXPECT_EQ(fs::status(copy).permissions(), fs::perms(0640));
    EXPECT_EQ(fs::last_write_time(copy), modified);
    EXPECT_EQ(namesIn(dir.path()).size(), 2u) << "no temporary file is left";
}

TEST(DatedCopyTest, CopyGoesOnWhenTheKernelStopsCopyingPartway) {
    test::TempDir dir;
    const std::string bytes = test::pattern(300000);
    const fs::path game = dir.write("Game.po", bytes);
    piecesCopied = 0;
    refuseAfterOnePiece = true;
    std::error_code error;
    const fs::path copy = DatedCopy::make(game, now, error);
    refuseAfterOnePiece = false;

    ASSERT_GT(piecesCopied, 0) << "the kernel copied a piece first";
    ASSERT_FALSE(copy.empty()) << "the rest is read and written instead: " << error.message();
    EXPECT_EQ(test::slurp(copy), bytes);
}

// A file size limit stands in for a full disk: the write fails partway, as it would.
TEST(DatedCopyTest, FailedCopyLeavesNoTruncatedImage) {
    test::TempDir dir;
    const fs::path game = dir.write("Game.po", std::string(300000, 'g'));
    std::error_code error;
    fs::path copy;
    {
        const test::FileSizeLimit limit(100000);
        copy = DatedCopy::make(game, now, error);
    }

    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(error, std::errc::file_too_large) << error.message();
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"Game.po"})
        << "neither a dated image nor the temporary copy is left";
}

} // namespace
} // namespace vorn
