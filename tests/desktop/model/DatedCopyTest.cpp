// Dated copies on real files: what a copy that fails midway leaves behind, and what a
// complete one keeps of the original. The names are checked through ShareModel.

#include "model/DatedCopy.h"

#include "support/MediaFixtures.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

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

// A file size limit stands in for a full disk: the write fails partway, as it would.
TEST(DatedCopyTest, FailedCopyLeavesNoTruncatedImage) {
    test::TempDir dir;
    const fs::path game = dir.write("Game.po", std::string(300000, 'g'));
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100000;
    setrlimit(RLIMIT_FSIZE, &small);
    std::error_code error;
    const fs::path copy = DatedCopy::make(game, now, error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);

    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(error, std::errc::file_too_large) << error.message();
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"Game.po"})
        << "neither a dated image nor the temporary copy is left";
}

} // namespace
} // namespace vorn
