#include "convert/ConversionTools.h"

#include "convert/CacheName.h"
#include "support/MediaFixtures.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vorn {
namespace {

using Paths = std::vector<std::string>;

// Sets a file's modification time to `seconds` + `nanos` since 1970.
void setModified(const std::filesystem::path& path, std::int64_t seconds, long nanos) {
    const timespec times[2] = {{time_t(seconds), nanos}, {time_t(seconds), nanos}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TEST(ConversionToolsTest, PathCandidatesSplitPathAndKeepEveryForm) {
    EXPECT_EQ(ConversionTools::pathCandidates("ffmpeg", ""), Paths{});
    EXPECT_EQ(ConversionTools::pathCandidates("ffmpeg", "::"), Paths{})
        << "empty components name no folder";
    EXPECT_EQ(ConversionTools::pathCandidates("x", ":/a::/b:"), (Paths{"/a/x", "/b/x"}));
    EXPECT_EQ(ConversionTools::pathCandidates("python3", "/usr/bin/:/usr/bin:/usr/bin"),
              (Paths{"/usr/bin//python3", "/usr/bin/python3", "/usr/bin/python3"}))
        << "a trailing slash doubles, duplicates stay";

    {
        test::ScopedEnv path("PATH", std::nullopt);
        EXPECT_EQ(ConversionTools::pathCandidates("ffmpeg"), Paths{}) << "PATH unset";
        EXPECT_EQ(ConversionTools::pythonCandidates(),
                  (Paths{"/home/linuxbrew/.linuxbrew/bin/python3", "/usr/local/bin/python3"}))
            << "only the fixed places are left";
    }
    test::ScopedEnv path("PATH", "/usr/bin:/bin");
    // The system interpreter is the one Debian's numpy and Pillow serve: it must stay.
    EXPECT_EQ(ConversionTools::pythonCandidates().at(2), "/usr/bin/python3");
    EXPECT_EQ(ConversionTools::pythonCandidates().size(), 4u);
}

// Fake interpreters on PATH: one that cannot run, one without the modules (it notes how it
// was asked) and the system interpreter in disguise.
TEST(ConversionToolsTest, PythonWithModulesMayBeALaterOne) {
    if (!ConversionTools::pythonHasModules("/usr/bin/python3")) {
        GTEST_SKIP() << "/usr/bin/python3 lacks numpy or Pillow";
    }
    {
        test::ScopedEnv none("PATH", "");
        if (ConversionTools::findPythonBinary()) {
            GTEST_SKIP() << "a python3 in a fixed place comes before any fake one";
        }
    }
    test::TempDir dir;
    const auto bare = test::writeScript(dir / "bare/python3",
                                        "printf '%s\\n' \"$@\" > \"${0%/*}/asked\"\nexit 1");
    const auto good = test::writeScript(dir / "good/python3", "exec /usr/bin/python3 \"$@\"");
    dir.write("blocked/python3", "#!/bin/sh\nexit 0\n"); // no execute bits: skipped
    test::writeScript(dir / "good/ffmpeg", "exit 0");

    {
        test::ScopedEnv path("PATH", (dir / "blocked").string() + ":" + (dir / "bare").string() +
                                         ":" + (dir / "good").string());
        EXPECT_EQ(ConversionTools::findPythonBinary(), bare.string());
        EXPECT_EQ(ConversionTools::findPythonWithModules(), good.string());
        EXPECT_EQ(test::slurp(dir / "bare/asked"), "-c\nimport numpy, PIL\n")
            << "the module check runs exactly: -c \"import numpy, PIL\"";
        const ConversionTools::Status status = ConversionTools::probe();
        EXPECT_EQ(status.pythonPath, good.string());
        EXPECT_TRUE(status.picturesReady);
        if (!ConversionTools::firstExecutable(
                {"/home/linuxbrew/.linuxbrew/bin/ffmpeg", "/usr/local/bin/ffmpeg"})) {
            EXPECT_EQ(status.ffmpegPath, (dir / "good/ffmpeg").string());
        }
    }
    test::ScopedEnv path("PATH", (dir / "bare").string());
    const ConversionTools::Status status = ConversionTools::probe();
    EXPECT_EQ(status.pythonPath, bare.string()) << "without the modules, the first python3";
    EXPECT_FALSE(status.picturesReady);
    EXPECT_FALSE(ConversionTools::pythonHasModules((dir / "nowhere/python3").string()));
}

TEST(CacheNameTest, NumbersReadBackAndWholeOnesKeepAPoint) {
    EXPECT_EQ(CacheName::number(1.45), "1.45");
    EXPECT_EQ(CacheName::number(1.1), "1.1");
    EXPECT_EQ(CacheName::number(2), "2.0");
    EXPECT_EQ(CacheName::number(0.1), "0.1");
    EXPECT_EQ(CacheName::number(0), "0.0");
    EXPECT_EQ(CacheName::number(-0.5), "-0.5");
    EXPECT_EQ(CacheName::number(1000000), "1000000.0") << "whole, however many digits";
    EXPECT_EQ(CacheName::number(0.0001), "0.0001");
    EXPECT_EQ(CacheName::number(0.00001), "1e-05");
    EXPECT_EQ(CacheName::number(0x1p53), "9007199254740992.0");
    EXPECT_EQ(CacheName::number(1e16), "1e+16") << "beyond exact integers: exponent form";
}

TEST(CacheNameTest, KeyIsRealPathAndWholeSeconds) {
    test::TempDir dir;
    const auto file = dir.write("a/Song.wav", "x");
    const std::string real = std::filesystem::canonical(file).string();
    setModified(file, 1700000000, 900000000);
    EXPECT_EQ(CacheName::key(file), real + "|1700000000") << "fractions are cut off";
    EXPECT_EQ(CacheName::key(file, "1.45|1.1|false"), real + "|1700000000|1.45|1.1|false");

    const auto link = dir.link("b/Link.wav", file);
    EXPECT_EQ(CacheName::key(link), CacheName::key(file)) << "a link leads to the same cache";
    EXPECT_EQ(CacheName::key(dir / "a/../a/Song.wav"), CacheName::key(file));

    setModified(file, -2, 500000000); // 1.5 seconds before 1970
    EXPECT_EQ(CacheName::key(file), real + "|-1") << "seconds are truncated towards zero";
    EXPECT_EQ(CacheName::key(dir / "gone.wav"), (dir / "gone.wav").string() + "|0");

    // The SHA-256 of "abc" is a published test vector.
    EXPECT_EQ(CacheName::fileName("abc", ".pcm"), "ba7816bf8f01cfea414140de5dae2223.pcm");
}

} // namespace
} // namespace vorn
