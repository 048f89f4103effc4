#include "pictures/PictureTranscoder.h"

#include "convert/CacheName.h"
#include "platform/Preferences.h"
#include "support/MediaFixtures.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using Knobs = StillPic::Knobs;

const fs::path kScript = fs::path(VORN_TEST_SOURCE_DIR) / "tools/img2shr.py";

class PictureTranscoderTest : public test::ConversionTest {
protected:
    Preferences m_preferences{m_dir / "preferences.json"};
    fs::path caches() const { return m_dir / "cache"; }
    // A stand-in for the converter kept running: notes its process and, for each request,
    // its command line and the request; writes as many bytes as the file "size" beside it
    // says to the partial file, and a preview when the file "preview" is there; answers
    // with the status in the file "status", if any. With the file "die" there it leaves
    // without answering, with "hang" it never answers.
    std::string fakePython() {
        m_dir.write("bin/size", std::to_string(StillPic::shrBytes));
        return test::writeScript(
                   m_dir / "bin/python3",
                   "[ -n \"$BASH_VERSION\" ] || exec /bin/bash \"$0\" \"$@\"\n"
                   "here=${0%/*}\n"
                   "echo $$ >> \"$here/started\"\n"
                   "while :; do\n"
                   "  r=()\n"
                   "  while IFS= read -r -d '' a && [ -n \"$a\" ]; do r+=(\"$a\"); done\n"
                   "  [ ${#r[@]} -gt 0 ] || exit 0\n"
                   "  printf '%s\\n' \"$@\" \"${r[@]}\" > \"$here/args\"\n"
                   "  head -c \"$(cat \"$here/size\")\" /dev/zero > \"${r[1]}\"\n"
                   "  [ -e \"$here/preview\" ] && printf png > \"${r[1]}_preview.png\"\n"
                   "  [ -e \"$here/die\" ] && exit 9\n"
                   "  [ -e \"$here/hang\" ] && exec sleep 30\n"
                   "  echo \"$(cat \"$here/status\" 2>/dev/null || echo 0)\"\n"
                   "done")
            .string();
    }
    int converterStarts() const {
        return int(
            std::count(std::istreambuf_iterator<char>(std::ifstream(m_dir / "bin/started").rdbuf()),
                       {}, '\n'));
    }
};

TEST_F(PictureTranscoderTest, KnobsNameTheCacheAndFollowLinks) {
    const auto picture = m_dir.write("lib/Title.png", "png");
    const auto link = m_dir.link("lib/Alias.png", picture);
    const auto cacheFor = [&](const std::string& knobText) {
        return caches() / "shr" / CacheName::fileName(CacheName::key(picture, knobText), ".shr");
    };
    PictureTranscoder transcoder(m_preferences, caches(), std::nullopt, std::nullopt);
    EXPECT_EQ(transcoder.knobs(picture), (Knobs{1.45, 1.1, false}));
    EXPECT_EQ(transcoder.cachedSHR(link, Knobs{}), cacheFor("1.45|1.1|false"));
    EXPECT_EQ(transcoder.cachedSHR(picture, Knobs{2, 0.9, true}), cacheFor("2.0|0.9|true"));

    ASSERT_TRUE(transcoder.saveKnobs(Knobs{2, 0.9, true}, link));
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
    PictureTranscoder transcoder(m_preferences, caches(), fakePython(), "img2shr.py");
    const fs::path dest = transcoder.cachedSHR(picture, knobs);
    const std::string destPreview = dest.string() + "_preview.png";
    fs::create_directories(dest.parent_path());
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
    EXPECT_EQ(test::slurp(m_dir / "bin/args"), "img2shr.py\n--serve\n" + picture.string() + "\n" +
                                                   dest.string() +
                                                   ".part\n--sat\n2.0\n--con\n0.5\n--dither\n");
    EXPECT_EQ(PictureTranscoder::options(Knobs{}), (test::Names{"--sat", "1.45", "--con", "1.1"}))
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
    EXPECT_FALSE(fs::exists(transcoder.cachedSHR(other, knobs)));
    EXPECT_EQ(test::partFiles(transcoder.cache().dir()), test::Names{});
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
    std::ofstream(m_dir / "bin/status") << Img2ShrTool::tooLargeStatus;
    const auto huge = m_dir.write("lib/Huge.png", "png");
    EXPECT_TRUE(convert(huge, false));
    fs::remove(m_dir / "bin/status");
    EXPECT_EQ(takeFailures(), test::Names{"picture convert failed: Huge.png (picture too large)"});

    // Without an interpreter or a script nothing is queued, even when forced.
    fs::remove(m_dir / "bin/args");
    PictureTranscoder noPython(m_preferences, caches(), std::nullopt, "img2shr.py");
    PictureTranscoder noScript(m_preferences, caches(), fakePython(), std::nullopt);
    for (PictureTranscoder* idle : {&noPython, &noScript}) {
        idle->convert(picture, knobs, true, counter());
        idle->drain();
    }
    EXPECT_EQ(m_ready, 3);
    EXPECT_FALSE(fs::exists(m_dir / "bin/args")) << "the interpreter ran";
}

// A screen that cannot be moved into place is a failure: reported as done, the picture
// would be converted again at every scan.
TEST_F(PictureTranscoderTest, AScreenThatCannotBePlacedFailsOnce) {
    const auto picture = m_dir.write("lib/Title.png", "png");
    PictureTranscoder transcoder(m_preferences, caches(), fakePython(), "img2shr.py");
    const fs::path dest = transcoder.cachedSHR(picture, Knobs{});
    m_dir.write(fs::relative(dest / "in the way", m_dir.path()).string(), "");
    for (int scan = 0; scan < 2; ++scan) {
        transcoder.convert(picture, Knobs{}, false, counter(), failures());
        transcoder.drain();
    }
    EXPECT_EQ(m_ready, 0);
    EXPECT_EQ(takeFailures(),
              test::Names{"picture convert failed: Title.png (cannot write the cache)"})
        << "converted again after the screen could not be placed";
    EXPECT_EQ(test::partFiles(transcoder.cache().dir()), test::Names{});
}

// One converter serves the pictures queued together and leaves when the queue runs dry.
// One that leaves without answering or overruns its limit is ended, the failure is the
// picture's, and the next picture gets a new converter.
TEST_F(PictureTranscoderTest, ConvertersServeABatchAndAreReplacedWhenTheyDieOrHang) {
    PictureTranscoder transcoder(m_preferences, caches(), fakePython(), "img2shr.py",
                                 ConversionLimit{std::chrono::seconds(3), {}});
    const auto convert = [&](const std::string& name) {
        transcoder.convert(m_dir.write(name, "png"), Knobs{}, false, counter(), failures());
        transcoder.drain();
    };
    std::ofstream(m_dir / "bin/die").close();
    convert("lib/Dies.png");
    fs::rename(m_dir / "bin/die", m_dir / "bin/hang");
    convert("lib/Hangs.png");
    fs::remove(m_dir / "bin/hang");
    convert("lib/Fine.png");
    EXPECT_EQ(takeFailures(),
              (test::Names{"picture convert failed: Dies.png (exit status 9)",
                           "picture convert failed: Hangs.png (time limit 3.0 s)"}));
    EXPECT_EQ(m_ready, 1);
    EXPECT_EQ(converterStarts(), 3);
    EXPECT_EQ(test::partFiles(transcoder.cache().dir()), test::Names{});

    PictureTranscoder batch(m_preferences, caches(), fakePython(), "img2shr.py");
    for (const char* name : {"lib/One.png", "lib/Two.png", "lib/Three.png"}) {
        batch.convert(m_dir.write(name, "png"), Knobs{}, false, counter(), failures());
    }
    batch.drain();
    EXPECT_EQ(m_ready, 4);
    EXPECT_EQ(converterStarts(), 4) << "a converter was started for each picture of a batch";
    const std::string started = test::slurp(m_dir / "bin/started");
    const pid_t last =
        std::atoi(started.substr(started.rfind('\n', started.size() - 2) + 1).c_str());
    EXPECT_TRUE(test::endsSoon(last)) << "the converter stayed after the batch";
}

// Looking for the converter imports numpy and Pillow; an interpreter that hangs there (a
// broken install, a home folder on a stalled network share) is given up at the
// conversion limit instead of holding "Recheck", and whoever waits for it, for good.
TEST_F(PictureTranscoderTest, AHangingInterpreterIsGivenUpAtTheLimit) {
    test::writeScript(m_dir / "bin/python3", "exec /bin/sleep 60");
    PictureTranscoder transcoder(m_preferences, caches(), std::nullopt, "img2shr.py",
                                 ConversionLimit{std::chrono::milliseconds(300), {}});
    const auto start = std::chrono::steady_clock::now();
    test::withPath((m_dir / "bin").c_str(), [&] { transcoder.findTools(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20))
        << "the probe waited for the interpreter past its limit";
    EXPECT_FALSE(transcoder.converterReady());
}

TEST(PictureScriptTest, BuildTreeFindsTheSourceScript) {
    const std::optional<std::string> script = PictureTranscoder::findScript();
    ASSERT_TRUE(script);
    EXPECT_EQ(fs::canonical(*script), fs::canonical(kScript));
}

} // namespace
} // namespace vorn
