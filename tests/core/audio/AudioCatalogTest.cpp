#include "audio/AudioCatalog.h"

#include "audio/AudioTranscoder.h"
#include "library/FolderWalk.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

constexpr std::string_view kBase = "http://lan:8271/";
const std::string kEmpty =
    "{ \"pages\": 1, \"total\": 0, \"catalog\": \"audio\", \"tracks\": [\n] }\n";

std::string entry(const std::string& name, std::uint64_t bytes, std::uint64_t secs,
                  const std::string& path) {
    return "  { \"name\": \"" + name + "\", \"bytes\": " + std::to_string(bytes) +
           ", \"secs\": " + std::to_string(secs) +
           ", \"rate\": 21973, \"ch\": 1, \"source\": \"lan\", \"url\": \"http://lan:8271/audio/" +
           path + "\" }";
}

std::vector<std::string> names(const std::vector<AudioTrack>& tracks) {
    std::vector<std::string> out;
    for (const AudioTrack& track : tracks) {
        out.push_back(track.displayName);
    }
    return out;
}

// The transcoders stand for "ffmpeg found" and "no ffmpeg"; neither runs here.
class AudioCatalogTest : public ::testing::Test {
protected:
    AudioCatalog scan(const AudioTranscoder& transcoder) const {
        return AudioCatalog::scan(FolderWalk::files(m_dir / "lib"), transcoder);
    }
    // Pretends `source` was converted earlier, into `bytes` bytes.
    std::filesystem::path converted(const std::string& source, std::size_t bytes) const {
        const auto cache = AudioTranscoder::cachedPCM(m_dir / ("lib/" + source));
        std::ofstream(cache, std::ios::binary) << std::string(bytes, '\x80');
        return cache;
    }

    test::TempDir m_dir;
    AudioTranscoder m_ffmpeg{std::string("/nonexistent/ffmpeg")};
    AudioTranscoder m_noFFmpeg{std::nullopt};
};

TEST_F(AudioCatalogTest, PagesOfSeventeenNameTheNextOne) {
    EXPECT_EQ(scan(m_ffmpeg).pageJSON(1, kBase), kEmpty);
    for (int i = 1; i <= 18; ++i) {
        const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
        // 10986 bytes are just under half a second, 10987 just over.
        m_dir.write("lib/Music/Track " + number + ".pcm", std::string(i == 1    ? 10986
                                                                      : i == 18 ? 10987
                                                                                : 100,
                                                                      '\x80'));
    }
    const AudioCatalog catalog = scan(m_ffmpeg);
    ASSERT_EQ(catalog.tracks.size(), 18u);
    EXPECT_EQ(catalog.pages(), 2);

    const std::string page1 = catalog.pageJSON(1, kBase);
    const std::string head = "{ \"pages\": 2, \"total\": 18, \"next\": \"vorn-audio-2.json\", "
                             "\"catalog\": \"audio\", \"tracks\": [\n" +
                             entry("Track 01", 10986, 0, "Music/Track%2001.pcm") + ",\n" +
                             entry("Track 02", 100, 0, "Music/Track%2002.pcm") + ",\n";
    EXPECT_EQ(page1.substr(0, head.size()), head);
    EXPECT_TRUE(page1.ends_with(entry("Track 17", 100, 0, "Music/Track%2017.pcm") + "\n] }\n"))
        << page1;
    const std::string page2 =
        "{ \"pages\": 2, \"total\": 18, \"catalog\": \"audio\", \"tracks\": [\n" +
        entry("Track 18", 10987, 1, "Music/Track%2018.pcm") + "\n] }\n";
    EXPECT_EQ(catalog.pageJSON(2, kBase), page2);
    EXPECT_EQ(catalog.pageJSON(3, kBase),
              "{ \"pages\": 2, \"total\": 18, \"catalog\": \"audio\", \"tracks\": [\n] }\n");

    // Searches clamp the page into range and never name a next page.
    EXPECT_EQ(catalog.searchJSON("", 9, kBase, std::nullopt, false), page2);
    const std::string tracks1x =
        catalog.searchJSON("TRACK 1", -4, kBase, std::nullopt, false); // Track 10 to 18
    EXPECT_TRUE(tracks1x.starts_with("{ \"pages\": 1, \"total\": 9, \"catalog\": \"audio\", "
                                     "\"tracks\": [\n" +
                                     entry("Track 10", 100, 0, "Music/Track%2010.pcm") + ",\n"))
        << tracks1x;
    EXPECT_EQ(catalog.searchJSON("zzz", 3, kBase, std::nullopt, false), kEmpty);
}

TEST_F(AudioCatalogTest, CategoriesMaySearchSubfolderNames) {
    for (const char* path :
         {"Music/Rock/80s/Ballad.pcm", "Music/Intro.pcm", "Musicals/Show.pcm", "Root.pcm"}) {
        m_dir.write(std::string("lib/") + path, std::string(100, '\x80'));
    }
    const AudioCatalog catalog = scan(m_noFFmpeg);
    EXPECT_EQ(names(catalog.inCategory("Music", false)),
              (std::vector<std::string>{"Ballad", "Intro"}));
    EXPECT_EQ(names(catalog.inCategory("Music", true)),
              (std::vector<std::string>{"80s: Ballad", "Intro"}));
    EXPECT_EQ(names(catalog.inCategory("", false)), std::vector<std::string>{"Root"});

    EXPECT_EQ(catalog.searchJSON("80S", 1, kBase, "Music", true),
              "{ \"pages\": 1, \"total\": 1, \"catalog\": \"audio\", \"tracks\": [\n" +
                  entry("80s: Ballad", 100, 0, "Music/Rock/80s/Ballad.pcm") + "\n] }\n");
    EXPECT_EQ(catalog.searchJSON("80s", 1, kBase, "Music", false), kEmpty)
        << "without the prefix the subfolder name is not searched";
}

TEST_F(AudioCatalogTest, EachNameIsClaimedOnce) {
    m_dir.write("lib/A/Intro.pcm", std::string(100, '\x80'));
    m_dir.write("lib/A/Intro.mp3", "mp3");
    m_dir.write("lib/B/Intro.pcm", "");
    const auto sourceB = m_dir.write("lib/B/Intro.mp3", "mp3");
    m_dir.write("lib/C/Intro.mp3", "mp3");
    m_dir.write("lib/C/Intro.wav", "wav");
    m_dir.write("lib/D/Intro.MP3", "mp3");
    m_dir.write("lib/E/beta.ogg", "ogg");
    m_dir.write("lib/F/Alpha.flac", "flac");

    AudioCatalog catalog = scan(m_ffmpeg);
    ASSERT_EQ(catalog.tracks.size(), 1u);
    EXPECT_EQ(catalog.tracks[0].fileName, "A/Intro.pcm") << "the library file wins its name";
    EXPECT_EQ(catalog.tracks[0].pcmURL, m_dir / "lib/A/Intro.pcm");
    EXPECT_EQ(catalog.pending,
              (std::vector<std::string>{"Alpha", "Intro", "Intro", "Intro", "beta"}));
    const std::vector<std::filesystem::path> sources{
        sourceB, m_dir / "lib/C/Intro.mp3", m_dir / "lib/D/Intro.MP3", m_dir / "lib/E/beta.ogg",
        m_dir / "lib/F/Alpha.flac"};
    EXPECT_EQ(catalog.pendingSources, sources) << "walk order; C/Intro.wav is never considered";
    EXPECT_EQ(catalog.awaitingFFmpeg, 0);

    const auto cacheB = converted("B/Intro.mp3", 500);
    converted("D/Intro.MP3", 300);
    catalog = scan(m_noFFmpeg);
    EXPECT_EQ(catalog.awaitingFFmpeg, 3) << "C, E and F wait for ffmpeg";
    EXPECT_TRUE(catalog.pending.empty());
    ASSERT_EQ(catalog.tracks.size(), 3u);
    const AudioTrack& b = catalog.tracks[1];
    EXPECT_EQ(b.fileName, "B/Intro.pcm") << "an empty .pcm file claims nothing";
    EXPECT_EQ(b.pcmURL, cacheB);
    EXPECT_EQ(b.bytes, 500u);
    EXPECT_EQ(b.sourceName, "Intro.mp3");
    EXPECT_EQ(b.sourceURL, sourceB);
    EXPECT_EQ(catalog.tracks[2].fileName, "D/Intro.pcm") << "upper-case extensions convert too";

    std::ofstream(cacheB, std::ios::trunc).close();
    EXPECT_EQ(scan(m_ffmpeg).pending.size(), 4u) << "an empty cache file is no conversion";
}

TEST_F(AudioCatalogTest, StationsAnswerIsFixed) {
    const std::string stations = AudioCatalog::emptyStationsJSON();
    EXPECT_EQ(stations,
              "{ \"pages\": 1, \"total\": 0, \"catalog\": \"stations\", \"tracks\": [] }\n");
    EXPECT_EQ(stations.size(), 64u);
}

} // namespace
} // namespace vorn
