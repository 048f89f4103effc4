#include "convert/ConversionCache.h"

#include "support/MediaFixtures.h"
#include "support/TempDir.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace vorn {
namespace {

using test::Names;
using test::namesIn;
using Keep = ConversionFailure::Keep;

// What a killed run left goes when a folder is first used, but not while another process
// converts into it: its partial files are alive.
TEST(ConversionCacheTest, LeftoversGoOnlyWhenNoOtherProcessUsesTheFolder) {
    test::TempDir dir;
    const Names leftovers = {".img2shr-x1y2.part", "a.pcm.part", "b.shr.part",
                             "b.shr.part_preview.png"};
    const Names kept = {".lock",        "c.pcm",        "d.shr", "d.shr_preview.png",
                        "e.pcm.failed", "notes.partial"};
    for (const char* folder : {"free", "busy"}) {
        for (const std::string& name : leftovers) {
            dir.write(folder + ("/" + name), "x");
        }
        for (const std::string& name : kept) {
            dir.write(folder + ("/" + name), "");
        }
    }
    // A lock taken through a descriptor of our own stands for another process: flock locks
    // belong to open files, not to processes.
    const int other = open((dir / "busy/.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(other, LOCK_SH), 0);
    ConversionCache(dir / "free").prepare();
    ConversionCache(dir / "busy").prepare();
    close(other);
    EXPECT_EQ(namesIn(dir / "free"), kept);
    Names all = kept;
    all.insert(all.end(), leftovers.begin(), leftovers.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(namesIn(dir / "busy"), all);
}

// A failure of the file whose marker cannot be written stands in memory for this run
// instead; the others never leave a marker. (How failures stand across restarts and
// changes of the source is the transcoders' test.)
TEST(ConversionCacheTest, FailuresWithoutMarkerStandInMemory) {
    test::TempDir dir;
    ConversionCache cache(dir.path());
    const auto unmarked = dir / "missing/a.pcm", tool = dir / "b.pcm";
    cache.remember(unmarked, {"time limit 120 s", Keep::lasting});
    cache.remember(tool, {"ffmpeg did not start", Keep::thisRun});
    EXPECT_EQ(cache.failure(unmarked), "time limit 120 s");
    EXPECT_EQ(cache.failure(tool), "ffmpeg did not start");
    EXPECT_EQ(namesIn(dir.path()), Names{}) << "a marker for a failure of this run";
    EXPECT_EQ(ConversionCache(dir.path()).failure(unmarked), std::nullopt);
    cache.forgetFailuresInMemory();
    EXPECT_EQ(cache.failure(unmarked), std::nullopt);
}

} // namespace
} // namespace vorn
