#include "pictures/PictureTranscoder.h"

#include "convert/CacheName.h"
#include "platform/Preferences.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using Knobs = StillPic::Knobs;

const fs::path kScript = fs::path(VORN_TEST_SOURCE_DIR) / "tools/img2shr.py";

class PictureTranscoderTest : public test::ConversionTest {
protected:
    Preferences m_preferences{m_dir / "preferences.json"};
    // A stand-in interpreter: notes its arguments, writes as many bytes as the file "size"
    // beside it says to its third argument (the partial file), and a preview when the
    // file "preview" is there; exits with the status in the file "status", if any.
    std::string fakePython() {
        m_dir.write("bin/size", std::to_string(StillPic::shrBytes));
        return test::writeScript(m_dir / "bin/python3",
                                 "here=${0%/*}\n"
                                 "printf '%s\\n' \"$@\" > \"$here/args\"\n"
                                 "head -c \"$(cat \"$here/size\")\" /dev/zero > \"$3\"\n"
                                 "if [ -e \"$here/preview\" ]; then printf png > "
                                 "\"${3}_preview.png\"; fi\n"
                                 "exit \"$(cat \"$here/status\" 2>/dev/null || echo 0)\"")
            .string();
    }
};

TEST_F(PictureTranscoderTest, KnobsNameTheCacheAndFollowLinks) {
    const auto picture = m_dir.write("lib/Title.png", "png");
    const auto link = m_dir.link("lib/Alias.png", picture);
    const auto cacheFor = [&](const std::string& knobText) {
        return PictureTranscoder::cacheDir() /
               CacheName::fileName(CacheName::key(picture, knobText), ".shr");
    };
    PictureTranscoder transcoder(m_preferences, std::nullopt, std::nullopt);
    EXPECT_EQ(transcoder.knobs(picture), (Knobs{1.45, 1.1, false}));
    EXPECT_EQ(PictureTranscoder::cachedSHR(link, Knobs{}), cacheFor("1.45|1.1|false"));
    EXPECT_EQ(PictureTranscoder::cachedSHR(picture, Knobs{2, 0.9, true}), cacheFor("2.0|0.9|true"));

    transcoder.saveKnobs(Knobs{2, 0.9, true}, link);
    EXPECT_EQ(transcoder.knobs(picture), (Knobs{2, 0.9, true}))
        << "knobs saved through a link belong to the picture itself";
    // Each entry of the wrong type falls back on its own.
    ASSERT_TRUE(m_preferences.setObject("pic.knobs." + fs::canonical(picture).string(),
                                        R"({"sat": "high", "con": 0.8, "dither": 1})"));
    EXPECT_EQ(transcoder.knobs(picture), (Knobs{1.45, 0.8, false}));
}

TEST_F(PictureTranscoderTest, JobConvertsOnlyWhatIsMissingOrDamaged) {
    const auto picture = m_dir.write("lib/Title.png", "png");
    const Knobs knobs{2, 0.5, true};
    const fs::path dest = PictureTranscoder::cachedSHR(picture, knobs);
    const std::string destPreview = dest.string() + "_preview.png";
    PictureTranscoder transcoder(m_preferences, fakePython(), "img2shr.py");
    // Whether the converter ran.
    const auto convert = [&](const fs::path& source, bool force) {
        fs::remove(m_dir / "bin/args");
        transcoder.convert(source, knobs, force, counter(), failures());
        transcoder.drain();
        return fs::exists(m_dir / "bin/args");
    };

    std::ofstream(dest, std::ios::binary) << std::string(32712, 'x');
    EXPECT_FALSE(convert(picture, false)) << "a complete screen ends the job before the converter";
    std::ofstream(dest, std::ios::binary) << std::string(32768, 'x');
    std::ofstream(m_dir / "bin/preview").close();
    EXPECT_TRUE(convert(picture, false)) << "a damaged screen is made again";
    EXPECT_EQ(m_ready, 1);
    EXPECT_EQ(test::slurp(dest), std::string(32712, '\0'));
    EXPECT_EQ(test::slurp(destPreview), "png");
    EXPECT_EQ(test::slurp(m_dir / "bin/args"), "img2shr.py\n" + picture.string() + "\n" +
                                                   dest.string() +
                                                   ".part\n--sat\n2.0\n--con\n0.5\n--dither\n");
    EXPECT_EQ(PictureTranscoder::arguments("s", "p", "o", Knobs{}),
              (test::Names{"s", "p", "o", "--sat", "1.45", "--con", "1.1"}))
        << "--dither only when asked";

    fs::remove(m_dir / "bin/preview");
    EXPECT_TRUE(convert(picture, true)) << "forced: converted although complete";
    EXPECT_EQ(m_ready, 2);
    EXPECT_FALSE(fs::exists(destPreview)) << "an earlier preview outlived a new screen";

    // Exit status 0 but the screen-memory size: a failure that leaves nothing behind and is
    // not tried again unless forced.
    std::ofstream(m_dir / "bin/size", std::ios::trunc) << 32768;
    std::ofstream(m_dir / "bin/preview").close();
    const auto other = m_dir.write("lib/Other.png", "png");
    EXPECT_TRUE(convert(other, false));
    EXPECT_EQ(m_ready, 2);
    EXPECT_FALSE(fs::exists(PictureTranscoder::cachedSHR(other, knobs)));
    EXPECT_EQ(test::partFiles(PictureTranscoder::cacheDir()), test::Names{});
    EXPECT_EQ(takeFailures(),
              test::Names{"picture convert failed: Other.png (output of 32768 bytes)"});
    EXPECT_FALSE(convert(other, false)) << "a failed picture was converted again";
    EXPECT_EQ(transcoder.failure(other, knobs), "output of 32768 bytes");
    EXPECT_EQ(transcoder.failure(other, Knobs{}), std::nullopt) << "other knobs, other conversion";
    std::ofstream(m_dir / "bin/size", std::ios::trunc) << 32712;
    EXPECT_TRUE(convert(other, true));
    EXPECT_EQ(m_ready, 3);
    EXPECT_EQ(transcoder.failure(other, knobs), std::nullopt) << "forced and converted";

    // The converter's own word for a picture it will not take.
    std::ofstream(m_dir / "bin/status") << PictureTranscoder::tooLargeStatus;
    const auto huge = m_dir.write("lib/Huge.png", "png");
    EXPECT_TRUE(convert(huge, false));
    fs::remove(m_dir / "bin/status");
    EXPECT_EQ(takeFailures(), test::Names{"picture convert failed: Huge.png (picture too large)"});

    // Without an interpreter or a script nothing is queued, even when forced.
    fs::remove(m_dir / "bin/args");
    PictureTranscoder noPython(m_preferences, std::nullopt, "img2shr.py");
    PictureTranscoder noScript(m_preferences, fakePython(), std::nullopt);
    for (PictureTranscoder* idle : {&noPython, &noScript}) {
        idle->convert(picture, knobs, true, counter());
        idle->drain();
    }
    EXPECT_EQ(m_ready, 3);
    EXPECT_FALSE(fs::exists(m_dir / "bin/args")) << "the interpreter ran";
}

TEST(PictureScriptTest, BuildTreeFindsTheSourceScript) {
    const std::optional<std::string> script = PictureTranscoder::findScript();
    ASSERT_TRUE(script);
    EXPECT_EQ(fs::canonical(*script), fs::canonical(kScript));
}

} // namespace
} // namespace vorn
