#include "audio/AudioTranscoder.h"

#include "support/Emulation.h"
#include "support/MediaFixtures.h"

#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace vorn {
namespace {

class AudioTranscoderTest : public test::ConversionTest {
protected:
    std::filesystem::path caches() const { return m_dir / "cache"; }
    std::filesystem::path pcm() const { return caches() / "pcm"; }
};

// Stand-ins for ffmpeg that note their arguments and run a shell `body` with $out set to
// their last argument, the partial file. Each run finds a stale partial file from an
// interrupted run in place; a stand-in that still sees it when it starts fails. A failed
// run is reported with its reason and leaves nothing behind.
TEST_F(AudioTranscoderTest, OnlyASuccessfulRunLeavesAFileAndCallsBack) {
    struct Run {
        const char* body;
        const char* result;  // the cache file's bytes, if any
        const char* failure; // the reason logged, if any
    };
    const Run runs[] = {
        {"printf abc > \"$out\"; exit 1", nullptr, "exit status 1"},
        {": > \"$out\"", nullptr, "output of 0 bytes"},
        {"exit 0", nullptr, "no output"},
        {"kill -9 $$", nullptr, "killed by signal 9"},
        {"printf '\\000\\000\\200\\000' > \"$out\"", "\x01\x01\x80\x01", nullptr}}; // zeros lifted
    std::filesystem::path source, dest;
    std::filesystem::create_directories(pcm());
    int number = 0;
    for (const auto& [body, result, failure] : runs) {
        source = m_dir.write("lib/Tiny " + std::to_string(++number) + ".wav", "any");
        dest = AudioTranscoder(caches(), std::nullopt).cachedPCM(source);
        std::ofstream(dest.string() + ".part") << "stale from an interrupted run";
        AudioTranscoder transcoder(
            caches(), test::writeScript(m_dir / "bin/ffmpeg",
                                        "printf '%s\\n' \"$@\" > \"${0%/*}/args\"\n"
                                        "cut -d' ' -f19 /proc/$$/stat > \"${0%/*}/nice\"\n"
                                        "for out; do :; done\n"
                                        "[ -e \"$out\" ] && exit 3\n" +
                                            std::string(body))
                          .string());
        transcoder.transcode(source, counter(), failures());
        transcoder.drain();
        EXPECT_EQ(m_ready, result ? 1 : 0) << body;
        EXPECT_EQ(std::filesystem::exists(dest) ? test::slurp(dest) : "(no file)",
                  result ? std::string(result, 4) : "(no file)")
            << body;
        EXPECT_EQ(test::partFiles(pcm()), test::Names{}) << body;
        EXPECT_EQ(takeFailures(),
                  failure ? test::Names{"transcode failed: Tiny " + std::to_string(number) +
                                        ".wav (" + failure + ")"}
                          : test::Names{});
    }
    EXPECT_EQ(test::slurp(m_dir / "bin/args"), "-nostdin\n-v\nerror\n-y\n-i\n" + source.string() +
                                                   "\n-ac\n1\n-ar\n21973\n-f\nu8\n" +
                                                   dest.string() + ".part\n");
    EXPECT_GE(std::atoi(test::slurp(m_dir / "bin/nice").c_str()), 10)
        << "ffmpeg ran at the priority of the card's block reads";
    AudioTranscoder again(caches(), (m_dir / "bin/ffmpeg").string());
    again.transcode(source, counter(), failures());
    again.drain();
    EXPECT_EQ(m_ready, 1) << "a source already converted was converted again";
    std::filesystem::remove(dest);
    if (test::emulated()) {
        GTEST_SKIP() << "the rest: " << test::kNoSpawnErrors;
    }
    AudioTranscoder unstartable(caches(), (m_dir / "bin/none").string());
    AudioTranscoder absent(caches(), std::nullopt);
    for (AudioTranscoder* idle : {&unstartable, &absent}) {
        idle->transcode(source, counter(), failures());
        idle->drain();
    }
    EXPECT_EQ(m_ready, 1);
    EXPECT_FALSE(std::filesystem::exists(dest));
    EXPECT_EQ(takeFailures(), test::Names{"transcode failed: Tiny 5.wav (ffmpeg did not start)"});
}

// A conversion that failed is not tried again, after a restart neither, until its source
// changes. Failures that are not the file's fault stand only until the tools are looked
// for again (or the next start).
TEST_F(AudioTranscoderTest, FailuresStandUntilTheSourceChanges) {
    const auto source = m_dir.write("lib/Broken.mp3", "not really an mp3");
    const std::string ffmpeg =
        test::writeScript(m_dir / "bin/ffmpeg", "echo run >> \"${0%/*}/runs\"\n"
                                                "for out; do :; done\n"
                                                "[ -e \"${0%/*}/works\" ] || exit 1\n"
                                                "printf x > \"$out\"")
            .string();
    const auto runs = [&] { return test::slurp(m_dir / "bin/runs").size() / 4; };
    const auto convert = [&](AudioTranscoder& transcoder) {
        transcoder.transcode(source, counter(), failures());
        transcoder.drain();
    };
    {
        AudioTranscoder transcoder(caches(), ffmpeg);
        convert(transcoder);
        convert(transcoder);
        EXPECT_EQ(runs(), 1u) << "a failed conversion was tried again";
        EXPECT_EQ(transcoder.failure(source), "exit status 1");
    }
    AudioTranscoder restarted(caches(), ffmpeg);
    convert(restarted);
    EXPECT_EQ(runs(), 1u) << "a failed conversion was tried again after a restart";
    EXPECT_EQ(takeFailures().size(), 1u);

    std::ofstream(m_dir / "bin/works").close();
    std::filesystem::last_write_time(source, std::filesystem::last_write_time(source) +
                                                 std::chrono::seconds(5));
    EXPECT_EQ(restarted.failure(source), std::nullopt) << "the source changed";
    convert(restarted);
    EXPECT_EQ(runs(), 2u);
    EXPECT_EQ(m_ready, 1);

    // A file where the cache folder should be: nothing can be written there.
    const auto cache = pcm();
    const auto other = m_dir.write("lib/Other.mp3", "mp3");
    std::filesystem::rename(cache, m_dir / "pcm-away");
    std::ofstream(cache).close();
    restarted.transcode(other, counter(), failures());
    restarted.drain();
    std::filesystem::remove(cache);
    std::filesystem::rename(m_dir / "pcm-away", cache);
    EXPECT_EQ(takeFailures(),
              test::Names{"transcode failed: Other.mp3 (cache folder not writable)"});
    EXPECT_EQ(restarted.failure(other), "cache folder not writable");
    EXPECT_EQ(AudioTranscoder(caches(), ffmpeg).failure(other), std::nullopt)
        << "kept past a restart";
    restarted.findTools(); // looks for ffmpeg again: what failed for want of room is tried again
    EXPECT_EQ(restarted.failure(other), std::nullopt);
}

// Shutdown stops the running converter and drops the queued conversions without calling
// anyone back, and remembers none of them as failed: they were not the files' fault.
TEST_F(AudioTranscoderTest, ShutdownStopsTheRunningAndDropsTheQueued) {
    const std::string ffmpeg =
        test::writeScript(m_dir / "bin/ffmpeg", "echo $$ >> \"${0%/*}/started\"; exec sleep 30")
            .string();
    std::vector<std::filesystem::path> sources;
    AudioTranscoder transcoder(caches(), ffmpeg);
    for (const char* name : {"lib/One.wav", "lib/Two.wav", "lib/Three.wav"}) {
        sources.push_back(m_dir.write(name, "wav"));
        transcoder.transcode(sources.back(), counter(), failures());
    }
    // The shell makes the file before echo writes into it: wait for the whole line.
    test::eventually([&] { return test::slurp(m_dir / "bin/started").ends_with('\n'); });
    const pid_t converter = std::atoi(test::slurp(m_dir / "bin/started").c_str());
    ASSERT_GT(converter, 0) << "the first conversion did not start";
    std::thread waiter([&] { transcoder.drain(); }); // must be let go, too
    const auto start = std::chrono::steady_clock::now();
    transcoder.shutdown();
    waiter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15))
        << "shutdown waited for the 30 s converter";
    EXPECT_FALSE(test::running(converter));
    kill(converter, SIGKILL);

    transcoder.transcode(sources[0], counter(), failures()); // queues nothing any more
    transcoder.drain();
    EXPECT_EQ(test::slurp(m_dir / "bin/started"), std::to_string(converter) + "\n");
    EXPECT_EQ(m_ready, 0);
    EXPECT_EQ(takeFailures(), test::Names{});
    for (const auto& source : sources) {
        EXPECT_EQ(transcoder.failure(source), std::nullopt) << source;
    }
}

} // namespace
} // namespace vorn
