#include "convert/ConversionTools.h"

#include "convert/CacheName.h"
#include "support/MediaFixtures.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vorn {
namespace {

using test::Names;

// Sets a file's modification time to `seconds` + `nanos` since 1970.
void setModified(const std::filesystem::path& path, std::int64_t seconds, long nanos) {
    const timespec times[2] = {{time_t(seconds), nanos}, {time_t(seconds), nanos}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TEST(ConversionToolsTest, CandidatesSplitPathAndKeepEveryForm) {
    EXPECT_EQ(ConversionTools::pathCandidates("x", "::"), Names{}) << "no folder in empty ones";
    EXPECT_EQ(ConversionTools::pathCandidates("x", ":/a::/b/:/b"), (Names{"/a/x", "/b//x", "/b/x"}))
        << "a trailing slash doubles, duplicates stay";
    const Names fixed{"/home/linuxbrew/.linuxbrew/bin/python3", "/usr/local/bin/python3"};
    test::withPath(nullptr, [&] { EXPECT_EQ(ConversionTools::pythonCandidates(), fixed); });
    // The system interpreter is the one Debian's numpy and Pillow serve: it must stay.
    test::withPath("/usr/bin", [&] {
        EXPECT_EQ(ConversionTools::pythonCandidates(),
                  (Names{fixed[0], fixed[1], "/usr/bin/python3"}));
    });
}

// Fake interpreters on PATH: one that cannot run, one without the modules (it notes how it
// was asked) and the system interpreter in disguise.
TEST(ConversionToolsTest, PythonWithModulesMayBeALaterOne) {
    bool fixedPython = false;
    test::withPath("", [&] { fixedPython = ConversionTools::findPythonBinary().has_value(); });
    if (fixedPython || !ConversionTools::pythonHasModules("/usr/bin/python3")) {
        GTEST_SKIP() << "a python3 in a fixed place, or /usr/bin/python3 without the modules";
    }
    test::TempDir dir;
    const auto bare = test::writeScript(dir / "bare/python3",
                                        "printf '%s\\n' \"$@\" > \"${0%/*}/asked\"\nexit 1");
    const auto good = test::writeScript(dir / "good/python3", "exec /usr/bin/python3 \"$@\"");
    dir.write("blocked/python3", "#!/bin/sh\nexit 0\n"); // no execute bits: skipped
    const std::string path = (dir / "blocked").string() + ":" + (dir / "bare").string();
    test::withPath((path + ":" + (dir / "good").string()).c_str(), [&] {
        EXPECT_EQ(ConversionTools::findPythonBinary(), bare.string());
        const ConversionTools::Status status = ConversionTools::probe();
        EXPECT_EQ(status.pythonPath, good.string());
        EXPECT_TRUE(status.picturesReady);
        EXPECT_EQ(test::slurp(dir / "bare/asked"), "-c\nimport numpy, PIL\n");
    });
    test::withPath(path.c_str(), [&] {
        const ConversionTools::Status status = ConversionTools::probe();
        EXPECT_EQ(status.pythonPath, bare.string()) << "without the modules, the first python3";
        EXPECT_FALSE(status.picturesReady);
    });
}

TEST(CacheNameTest, NumbersReadBackAndWholeOnesKeepAPoint) {
    // Plain digits from 0.0001 up to 2^53, whole ones with ".0"; the exponent form outside.
    for (const char* text : {"1.45", "1.1", "2.0", "0.0", "-0.5", "1000000.0", "0.0001", "1e-05",
                             "9007199254740992.0", "1e+16"}) {
        EXPECT_EQ(CacheName::number(std::strtod(text, nullptr)), text);
    }
}

TEST(CacheNameTest, KeyIsRealPathAndWholeSeconds) {
    test::TempDir dir;
    const auto file = dir.write("a/Song.wav", "x");
    const std::string real = std::filesystem::canonical(file).string();
    setModified(file, 1700000000, 900000000);
    EXPECT_EQ(CacheName::key(file), real + "|1700000000") << "fractions are cut off";
    EXPECT_EQ(CacheName::key(dir.link("b/Link.wav", file), "1.45|1.1|false"),
              real + "|1700000000|1.45|1.1|false")
        << "a link leads to the same cache";
    setModified(file, -2, 500000000); // 1.5 seconds before 1970
    EXPECT_EQ(CacheName::key(file), real + "|-1") << "seconds are truncated towards zero";
    EXPECT_EQ(CacheName::key(dir / "gone.wav"), (dir / "gone.wav").string() + "|0");
    // The SHA-256 of "abc" is a published test vector.
    EXPECT_EQ(CacheName::fileName("abc", ".pcm"), "ba7816bf8f01cfea414140de5dae2223.pcm");
}

} // namespace
} // namespace vorn
