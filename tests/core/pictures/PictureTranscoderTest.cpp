#include "pictures/PictureTranscoder.h"

#include "convert/ConversionTools.h"
#include "pictures/ShrPreview.h"
#include "platform/Preferences.h"
#include "platform/Sha256.h"
#include "support/MediaFixtures.h"
#include "support/TempDir.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using Knobs = StillPic::Knobs;

const fs::path kScript = fs::path(VORN_TEST_SOURCE_DIR) / "tools/img2shr.py";

class PictureTranscoderTest : public ::testing::Test {
protected:
    std::function<void()> counter() {
        return [this] { ++m_ready; };
    }
    // A stand-in interpreter: notes its arguments, writes as many bytes as the file "size"
    // beside it says to its third argument (the partial file), and a preview when the
    // file "preview" is there.
    std::string fakePython() {
        m_dir.write("bin/size", std::to_string(StillPic::shrBytes));
        return test::writeScript(m_dir / "bin/python3",
                                 "here=${0%/*}\n"
                                 "printf '%s\\n' \"$@\" > \"$here/args\"\n"
                                 "head -c \"$(cat \"$here/size\")\" /dev/zero > \"$3\"\n"
                                 "if [ -e \"$here/preview\" ]; then printf png > "
                                 "\"${3}_preview.png\"; fi")
            .string();
    }
    static std::vector<std::string> leftovers() {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(PictureTranscoder::cacheDir())) {
            if (entry.path().string().find(".part") != std::string::npos) {
                found.push_back(entry.path().filename().string());
            }
        }
        return found;
    }

    test::TempDir m_dir;
    std::atomic<int> m_ready{0};
};

TEST_F(PictureTranscoderTest, RealConverterMakesAScreenAndItsPreview) {
    if (!ConversionTools::pythonHasModules("/usr/bin/python3") || !fs::exists(kScript)) {
        GTEST_SKIP() << "no /usr/bin/python3 with numpy and Pillow, or no converter script";
    }
    // Red on the left, blue on the right, at the screen's own 16:10 shape.
    const auto picture =
        m_dir.write("lib/Split.bmp",
                    test::bmp(64, 40, [](int x, int) { return x < 32 ? 0xFF0000u : 0x0000FFu; }));
    PictureTranscoder transcoder("/usr/bin/python3", kScript.string());
    transcoder.convert(picture, Knobs{}, false, counter());
    transcoder.drain();
    ASSERT_EQ(m_ready, 1) << "the conversion did not succeed";

    const fs::path dest = PictureTranscoder::cachedSHR(picture, Knobs{});
    EXPECT_EQ(fs::file_size(dest), 32712u);
    EXPECT_TRUE(fs::exists(dest.string() + "_preview.png"));
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
    const auto image = ShrPreview::decodeFile(dest);
    ASSERT_TRUE(image);
    const auto at = [&](int x, int y, int channel) {
        return int(
            image->pixels[(std::size_t(y) * 320 + std::size_t(x)) * 4 + std::size_t(channel)]);
    };
    EXPECT_GT(at(60, 100, 0), at(60, 100, 2) + 128) << "the left half should be red";
    EXPECT_GT(at(260, 100, 2), at(260, 100, 0) + 128) << "the right half should be blue";

    transcoder.convert(picture, Knobs{}, false, counter());
    transcoder.drain();
    EXPECT_EQ(m_ready, 1) << "a complete screen in the cache is not made again";
}

TEST_F(PictureTranscoderTest, KnobsNameTheCacheAndFollowLinks) {
    const auto picture = m_dir.write("lib/Title.png", "png");
    const auto link = m_dir.link("lib/Alias.png", picture);
    const timespec times[2] = {{1700000000, 250000000}, {1700000000, 250000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, picture.c_str(), times, 0), 0);
    const std::string real = fs::canonical(picture).string();
    const auto cacheFor = [&](const std::string& knobText) {
        return PictureTranscoder::cacheDir() /
               (Sha256::hex(real + "|1700000000|" + knobText).substr(0, 32) + ".shr");
    };

    EXPECT_EQ(PictureTranscoder::knobs(picture), (Knobs{1.45, 1.1, false}));
    EXPECT_EQ(PictureTranscoder::cachedSHR(picture, Knobs{}), cacheFor("1.45|1.1|false"));
    EXPECT_EQ(PictureTranscoder::cachedSHR(link, Knobs{}), cacheFor("1.45|1.1|false"));
    EXPECT_EQ(PictureTranscoder::cachedSHR(picture, Knobs{2, 1.1, false}),
              cacheFor("2.0|1.1|false"));
    EXPECT_EQ(PictureTranscoder::cachedSHR(picture, Knobs{1.45, 1.1, true}),
              cacheFor("1.45|1.1|true"));

    EXPECT_EQ(PictureTranscoder::knobsKey(link), "pic.knobs." + real);
    PictureTranscoder::saveKnobs(Knobs{2, 0.9, true}, link);
    EXPECT_EQ(PictureTranscoder::knobs(picture), (Knobs{2, 0.9, true}))
        << "knobs saved through a link belong to the picture itself";
    EXPECT_TRUE(test::slurp(Preferences::defaultFile()).find("pic.knobs." + real) !=
                std::string::npos)
        << "the knobs should be in the test's own preferences file";

    // Each entry of the wrong type falls back on its own.
    ASSERT_TRUE(Preferences::standard().setObject(PictureTranscoder::knobsKey(picture),
                                                  R"({"sat": "high", "con": 0.8, "dither": 1})"));
    EXPECT_EQ(PictureTranscoder::knobs(picture), (Knobs{1.45, 0.8, false}));
}

TEST_F(PictureTranscoderTest, JobConvertsOnlyWhatIsMissingOrDamaged) {
    const auto picture = m_dir.write("lib/Title.png", "png");
    const Knobs knobs{2, 0.5, true};
    const fs::path dest = PictureTranscoder::cachedSHR(picture, knobs);
    const std::string destPreview = dest.string() + "_preview.png";
    PictureTranscoder transcoder(fakePython(), "img2shr.py");
    const auto convert = [&](bool force) {
        fs::remove(m_dir / "bin/args");
        transcoder.convert(picture, knobs, force, counter());
        transcoder.drain();
        return fs::exists(m_dir / "bin/args");
    };

    std::ofstream(dest, std::ios::binary) << std::string(32712, 'x');
    EXPECT_FALSE(convert(false)) << "a complete screen ends the job before the converter";
    EXPECT_EQ(m_ready, 0);

    std::ofstream(dest, std::ios::binary) << std::string(32768, 'x');
    std::ofstream(m_dir / "bin/preview").close();
    EXPECT_TRUE(convert(false)) << "a damaged screen is made again";
    EXPECT_EQ(m_ready, 1);
    EXPECT_EQ(test::slurp(dest), std::string(32712, '\0'));
    EXPECT_EQ(test::slurp(destPreview), "png");
    EXPECT_EQ(test::slurp(m_dir / "bin/args"), "img2shr.py\n" + picture.string() + "\n" +
                                                   dest.string() +
                                                   ".part\n--sat\n2.0\n--con\n0.5\n--dither\n");

    fs::remove(m_dir / "bin/preview");
    EXPECT_TRUE(convert(true)) << "forced: converted although complete";
    EXPECT_EQ(m_ready, 2);
    EXPECT_FALSE(fs::exists(destPreview)) << "an earlier preview outlived a new screen";

    // Exit status 0 but the screen-memory size: a failure that leaves nothing behind.
    std::ofstream(m_dir / "bin/size", std::ios::trunc) << 32768;
    std::ofstream(m_dir / "bin/preview").close();
    const auto other = m_dir.write("lib/Other.png", "png");
    transcoder.convert(other, knobs, false, counter());
    transcoder.drain();
    EXPECT_EQ(m_ready, 2);
    EXPECT_FALSE(fs::exists(PictureTranscoder::cachedSHR(other, knobs)));
    EXPECT_EQ(leftovers(), std::vector<std::string>{});

    EXPECT_EQ(PictureTranscoder::arguments("s", picture, "o", Knobs{}).size(), 7u);
    EXPECT_EQ(PictureTranscoder::arguments("s", picture, "o", knobs).size(), 8u);

    // Without an interpreter or a script nothing is queued, even when forced.
    PictureTranscoder noPython(std::nullopt, "img2shr.py");
    PictureTranscoder noScript(fakePython(), std::nullopt);
    fs::remove(m_dir / "bin/args");
    noPython.convert(picture, knobs, true, counter());
    noScript.convert(picture, knobs, true, counter());
    noPython.drain();
    noScript.drain();
    EXPECT_EQ(m_ready, 2);
    EXPECT_FALSE(fs::exists(m_dir / "bin/args")) << "the interpreter ran";
}

TEST(PictureScriptTest, BuildTreeFindsTheSourceScript) {
    const std::optional<std::string> script = PictureTranscoder::findScript();
    ASSERT_TRUE(script);
    EXPECT_EQ(fs::canonical(*script), fs::canonical(kScript));
    EXPECT_EQ(PictureTranscoder::scriptCandidates().front(),
              fs::read_symlink("/proc/self/exe").parent_path() / "img2shr.py")
        << "a script beside the program comes first";
}

} // namespace
} // namespace vorn
