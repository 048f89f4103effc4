#include "audio/AudioTranscoder.h"

#include "convert/ConversionTools.h"
#include "platform/ChildProcess.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

using AudioTranscoderTest = test::ConversionTest;

TEST_F(AudioTranscoderTest, RealFFmpegWritesCardSamplesWithoutZeroBytes) {
    const std::optional<std::string> ffmpeg = ConversionTools::findFFmpeg();
    if (!ffmpeg) {
        GTEST_SKIP() << "no ffmpeg on this machine";
    }
    // A full-scale square wave: half its samples are the lowest value, which u8 writes as 0x00.
    const auto wav = m_dir.mkdir("lib") / "Square.wav";
    ASSERT_EQ(ChildProcess::run(*ffmpeg, {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                          "aevalsrc='if(lt(mod(t*100,1),0.5),-1,1)':s=44100:d=1",
                                          wav.string()}),
              0);
    AudioTranscoder transcoder(*ffmpeg);
    transcoder.transcode(wav, counter());
    transcoder.transcode(wav, counter()); // queued twice: the second finds it converted
    transcoder.drain();
    EXPECT_EQ(m_ready, 1);

    const std::string pcm = test::slurp(AudioTranscoder::cachedPCM(wav));
    EXPECT_NEAR(double(pcm.size()), 21973.0, 1100.0) << "one second at 21973 Hz";
    EXPECT_EQ(pcm.find('\0'), std::string::npos) << "the served audio holds a zero byte";
}

// Stand-ins for ffmpeg that note their arguments and run a shell `body` with $out set to
// their last argument, the partial file. Each run finds a stale partial file from an
// interrupted run in place; a stand-in that still sees it when it starts fails.
TEST_F(AudioTranscoderTest, OnlyASuccessfulRunLeavesAFileAndCallsBack) {
    const auto source = m_dir.write("lib/Tiny.wav", "any");
    const auto dest = AudioTranscoder::cachedPCM(source);
    const std::pair<const char*, const char*> runs[] = {
        {"printf abc > \"$out\"; exit 1", nullptr},                        // a failing status
        {": > \"$out\"", nullptr},                                         // an empty output
        {"exit 0", nullptr},                                               // no output at all
        {"printf '\\000\\000\\200\\000' > \"$out\"", "\x01\x01\x80\x01"}}; // zeros lifted
    for (const auto& [body, result] : runs) {
        std::ofstream(dest.string() + ".part") << "stale from an interrupted run";
        AudioTranscoder transcoder(
            test::writeScript(m_dir / "bin/ffmpeg", "printf '%s\\n' \"$@\" > \"${0%/*}/args\"\n"
                                                    "for out; do :; done\n"
                                                    "[ -e \"$out\" ] && exit 3\n" +
                                                        std::string(body))
                .string());
        transcoder.transcode(source, counter());
        transcoder.drain();
        EXPECT_EQ(m_ready, result ? 1 : 0) << body;
        EXPECT_EQ(std::filesystem::exists(dest) ? test::slurp(dest) : "(no file)",
                  result ? std::string(result, 4) : "(no file)")
            << body;
        EXPECT_EQ(test::partFiles(AudioTranscoder::cacheDir()), test::Names{}) << body;
    }
    EXPECT_EQ(test::slurp(m_dir / "bin/args"), "-nostdin\n-v\nerror\n-y\n-i\n" + source.string() +
                                                   "\n-ac\n1\n-ar\n21973\n-f\nu8\n" +
                                                   dest.string() + ".part\n");
    std::filesystem::remove(dest);
    AudioTranscoder unstartable((m_dir / "bin/none").string());
    AudioTranscoder absent(std::nullopt);
    for (AudioTranscoder* idle : {&unstartable, &absent}) {
        idle->transcode(source, counter());
        idle->drain();
    }
    EXPECT_EQ(m_ready, 1);
    EXPECT_FALSE(std::filesystem::exists(dest));
}

} // namespace
} // namespace vorn
