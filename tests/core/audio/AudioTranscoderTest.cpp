#include "audio/AudioTranscoder.h"

#include "convert/ConversionTools.h"
#include "platform/ChildProcess.h"
#include "support/MediaFixtures.h"
#include "support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>

namespace vorn {
namespace {

// A full-scale square wave: half its samples are the lowest value, which u8 writes as 0x00.
constexpr const char* kSquare = "aevalsrc='if(lt(mod(t*100,1),0.5),-1,1)':s=44100:d=1";

class AudioTranscoderTest : public ::testing::Test {
protected:
    std::function<void()> counter() {
        return [this] { ++m_ready; };
    }
    // Leftover partial files in the cache: a failed or finished job must leave none.
    static std::vector<std::string> partFiles() {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(AudioTranscoder::cacheDir())) {
            if (entry.path().extension() == ".part") {
                found.push_back(entry.path().filename().string());
            }
        }
        return found;
    }
    // A stand-in for ffmpeg: the shell `body` runs with $out set to its last argument.
    std::string fakeFFmpeg(const std::string& body) {
        return test::writeScript(m_dir / "bin/ffmpeg", "printf '%s\\n' \"$@\" > \"${0%/*}/args\"\n"
                                                       "for out; do :; done\n" +
                                                           body)
            .string();
    }

    test::TempDir m_dir;
    std::atomic<int> m_ready{0};
};

TEST_F(AudioTranscoderTest, RealFFmpegWritesCardSamplesWithoutZeroBytes) {
    const std::optional<std::string> ffmpeg = ConversionTools::findFFmpeg();
    if (!ffmpeg) {
        GTEST_SKIP() << "no ffmpeg on this machine";
    }
    const auto wav = m_dir / "lib/Square.wav";
    const auto mp3 = m_dir / "lib/Sine.mp3";
    const auto raw = m_dir / "square.u8";
    std::filesystem::create_directories(wav.parent_path());
    ASSERT_EQ(ChildProcess::run(
                  *ffmpeg, {"-nostdin", "-v", "error", "-f", "lavfi", "-i", kSquare, wav.string()}),
              0);
    ASSERT_EQ(ChildProcess::run(*ffmpeg, {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                          "sine=frequency=440:duration=1", mp3.string()}),
              0);
    // What ffmpeg itself writes for the square wave does hold zero bytes.
    ASSERT_EQ(ChildProcess::run(*ffmpeg, {"-nostdin", "-v", "error", "-i", wav.string(), "-ac", "1",
                                          "-ar", "21973", "-f", "u8", raw.string()}),
              0);
    ASSERT_GT(std::ranges::count(test::slurp(raw), '\0'), 5000);

    AudioTranscoder transcoder(*ffmpeg);
    transcoder.transcode(wav, counter());
    transcoder.transcode(mp3, counter());
    transcoder.drain();
    EXPECT_EQ(m_ready, 2);
    for (const auto& source : {wav, mp3}) {
        const std::string pcm = test::slurp(AudioTranscoder::cachedPCM(source));
        EXPECT_NEAR(double(pcm.size()), 21973.0, 1100.0) << source << ": one second at 21973 Hz";
        EXPECT_EQ(pcm.find('\0'), std::string::npos) << source << " holds a zero byte";
    }
    const std::string square = test::slurp(AudioTranscoder::cachedPCM(wav));
    EXPECT_GT(std::ranges::count(square, '\x01'), 5000) << "the lowest samples became 0x01";
    EXPECT_EQ(partFiles(), std::vector<std::string>{});

    transcoder.transcode(wav, counter());
    transcoder.drain();
    EXPECT_EQ(m_ready, 2) << "a source already converted is not converted again";
}

TEST_F(AudioTranscoderTest, FailedConversionsLeaveNothingAndNeverCallBack) {
    const auto source = m_dir.write("lib/Broken.mp3", "not audio");
    const auto dest = AudioTranscoder::cachedPCM(source);
    for (const std::string& body : {std::string("printf 'abc' > \"$out\"\nexit 1"),
                                    std::string(": > \"$out\"\nexit 0"), std::string("exit 0")}) {
        AudioTranscoder transcoder(fakeFFmpeg(body));
        transcoder.transcode(source, counter());
        transcoder.drain();
        EXPECT_EQ(m_ready, 0) << body;
        EXPECT_FALSE(std::filesystem::exists(dest)) << body;
        EXPECT_EQ(partFiles(), std::vector<std::string>{}) << body;
    }
    EXPECT_EQ(test::slurp(m_dir / "bin/args"), "-nostdin\n-v\nerror\n-y\n-i\n" + source.string() +
                                                   "\n-ac\n1\n-ar\n21973\n-f\nu8\n" +
                                                   dest.string() + ".part\n");

    AudioTranscoder unstartable((m_dir / "bin/none").string());
    unstartable.transcode(source, counter());
    AudioTranscoder absent(std::nullopt);
    absent.transcode(source, counter());
    unstartable.drain();
    absent.drain();
    EXPECT_EQ(m_ready, 0);
    EXPECT_FALSE(std::filesystem::exists(dest));
}

TEST_F(AudioTranscoderTest, StalePartIsRemovedAndZeroSamplesAreLifted) {
    const auto source = m_dir.write("lib/Tiny.wav", "any");
    const auto dest = AudioTranscoder::cachedPCM(source);
    std::ofstream(dest.string() + ".part") << "stale from an interrupted run";
    // The stand-in notes whether the stale file was still there when it started.
    AudioTranscoder transcoder(fakeFFmpeg("if [ -e \"$out\" ]; then echo stale; else echo clean; "
                                          "fi > \"${0%/*}/seen\"\n"
                                          "printf '\\000\\000\\200\\000' > \"$out\""));
    transcoder.transcode(source, counter());
    transcoder.drain();
    EXPECT_EQ(test::slurp(m_dir / "bin/seen"), "clean\n");
    EXPECT_EQ(m_ready, 1);
    EXPECT_EQ(test::slurp(dest), std::string("\x01\x01\x80\x01", 4));
    EXPECT_EQ(partFiles(), std::vector<std::string>{});
}

} // namespace
} // namespace vorn
