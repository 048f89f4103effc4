// The paging, searches, categories and claiming rules the two catalogs share are tested
// here, once; the picture catalog's tests cover only what differs there.

#include "audio/AudioCatalog.h"

#include "audio/AudioTranscoder.h"
#include "library/FolderWalk.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

constexpr std::string_view kBase = "http://lan:8271/";
using Names = std::vector<std::string>;

// The JSON up to the first entry; `next` is empty when no next page is named.
std::string head(int pages, int total, const std::string& next = "") {
    return "{ \"pages\": " + std::to_string(pages) + ", \"total\": " + std::to_string(total) +
           (next.empty() ? "" : ", \"next\": \"" + next + "\"") +
           ", \"catalog\": \"audio\", \"tracks\": [\n";
}

std::string entry(const std::string& name, std::uint64_t bytes, int secs, const std::string& path) {
    return "  { \"name\": \"" + name + "\", \"bytes\": " + std::to_string(bytes) +
           ", \"secs\": " + std::to_string(secs) +
           ", \"rate\": 21973, \"ch\": 1, \"source\": \"lan\", \"url\": \"http://lan:8271/audio/" +
           path + "\" }";
}

// The transcoders stand for "ffmpeg found" and "no ffmpeg"; neither runs here.
class AudioCatalogTest : public ::testing::Test {
protected:
    AudioCatalogTest() { std::filesystem::create_directories(m_dir / "cache/pcm"); }
    AudioCatalog scan(const AudioTranscoder& transcoder) const {
        return AudioCatalog::scan(FolderWalk::files(m_dir / "lib"), transcoder);
    }
    test::TempDir m_dir;
    AudioTranscoder m_ffmpeg{m_dir / "cache", std::string("/nonexistent/ffmpeg")};
    AudioTranscoder m_noFFmpeg{m_dir / "cache", std::nullopt};
};

TEST_F(AudioCatalogTest, PagesOfSeventeenNameTheNextOneAndSearchesClamp) {
    const std::string empty = head(1, 0) + "] }\n";
    EXPECT_EQ(scan(m_ffmpeg).pageJSON(1, kBase), empty);
    // Track01 (10986 bytes) is just under half a second, Track18 (10987) just over.
    std::string page1 = head(2, 18, "vorn-audio-2.json");
    for (int i = 1; i <= 18; ++i) {
        const std::string name = "Track" + std::string(i < 10 ? "0" : "") + std::to_string(i);
        const std::size_t bytes = i == 1 ? 10986 : i == 18 ? 10987 : 100;
        m_dir.write("lib/Music/" + name + ".pcm", std::string(bytes, '\x80'));
        if (i <= 17) {
            page1 += entry(name, bytes, 0, "Music/" + name + ".pcm") + (i < 17 ? ",\n" : "\n] }\n");
        }
    }
    const AudioCatalog catalog = scan(m_ffmpeg);
    EXPECT_EQ(catalog.pageJSON(1, kBase), page1);
    const std::string page2 = head(2, 18) + entry("Track18", 10987, 1, "Music/Track18.pcm");
    EXPECT_EQ(catalog.pageJSON(2, kBase), page2 + "\n] }\n");
    EXPECT_EQ(catalog.pageJSON(3, kBase), head(2, 18) + "] }\n");

    // Searches clamp the page into range, ignore case and never name a next page.
    const auto search = [&](const char* query, int page) {
        return catalog.searchJSON(query, page, kBase, std::nullopt, false);
    };
    EXPECT_EQ(search("", 9), page2 + "\n] }\n");
    EXPECT_TRUE(search("", 1).starts_with(head(2, 18))) << search("", 1);
    EXPECT_TRUE(
        search("TRACK1", -4)
            .starts_with(head(1, 9) + entry("Track10", 100, 0, "Music/Track10.pcm") + ",\n"))
        << search("TRACK1", -4);
    EXPECT_EQ(search("zzz", 3), empty);
}

TEST_F(AudioCatalogTest, CategoriesMaySearchSubfolderNames) {
    for (const char* path :
         {"Music/Rock/80s/Ballad.pcm", "Music/Intro.pcm", "Musicals/Show.pcm", "Root.pcm"}) {
        m_dir.write(std::string("lib/") + path, std::string(100, '\x80'));
    }
    const AudioCatalog catalog = scan(m_noFFmpeg);
    const auto inMusic = [&](const char* query, bool prefixSub) {
        return catalog.searchJSON(query, 1, kBase, "Music", prefixSub);
    };
    const std::string ballad = entry("Ballad", 100, 0, "Music/Rock/80s/Ballad.pcm");
    const std::string prefixed = entry("80s: Ballad", 100, 0, "Music/Rock/80s/Ballad.pcm");
    const std::string intro = entry("Intro", 100, 0, "Music/Intro.pcm") + "\n] }\n";
    EXPECT_EQ(inMusic("", false), head(1, 2) + ballad + ",\n" + intro) << "not Musicals/Show";
    EXPECT_EQ(inMusic("", true), head(1, 2) + prefixed + ",\n" + intro);
    EXPECT_EQ(inMusic("80S", true), head(1, 1) + prefixed + "\n] }\n");
    EXPECT_EQ(inMusic("80s", false), head(1, 0) + "] }\n")
        << "without the prefix the subfolder name is not searched";
}

TEST_F(AudioCatalogTest, EachNameIsClaimedOnce) {
    m_dir.write("lib/A/Intro.pcm", std::string(100, '\x80'));
    m_dir.write("lib/A/Intro.mp3", "mp3");
    m_dir.write("lib/B/Intro.pcm", "");
    const auto sourceB = m_dir.write("lib/B/Intro.mp3", "mp3");
    m_dir.write("lib/C/Intro.mp3", "mp3");
    m_dir.write("lib/C/Intro.wav", "wav");
    const auto sourceD = m_dir.write("lib/D/Intro.MP3", "mp3");
    m_dir.write("lib/E/beta.ogg", "ogg");
    m_dir.write("lib/F/Alpha.flac", "flac");

    AudioCatalog catalog = scan(m_ffmpeg);
    ASSERT_EQ(catalog.tracks.size(), 1u);
    EXPECT_EQ(catalog.tracks[0].pcmPath, m_dir / "lib/A/Intro.pcm") << "the library file wins";
    EXPECT_EQ(catalog.pending, (Names{"Alpha", "Intro", "Intro", "Intro", "beta"}));
    EXPECT_EQ(catalog.pendingSources, (std::vector<std::filesystem::path>{
                                          sourceB, m_dir / "lib/C/Intro.mp3", sourceD,
                                          m_dir / "lib/E/beta.ogg", m_dir / "lib/F/Alpha.flac"}))
        << "walk order; C/Intro.wav is never considered";

    // Pretend that B and D were converted earlier.
    const auto cacheB = m_ffmpeg.cachedPCM(sourceB);
    std::ofstream(cacheB, std::ios::binary) << std::string(500, '\x80');
    std::ofstream(m_ffmpeg.cachedPCM(sourceD)) << "pcm";
    catalog = scan(m_noFFmpeg);
    EXPECT_EQ(catalog.awaitingFFmpeg, 3) << "C, E and F wait for ffmpeg";
    EXPECT_TRUE(catalog.pending.empty());
    ASSERT_EQ(catalog.tracks.size(), 3u);
    EXPECT_EQ(catalog.tracks[1].fileName, "B/Intro.pcm") << "an empty .pcm file claims nothing";
    EXPECT_EQ(catalog.tracks[1].pcmPath, cacheB);
    EXPECT_EQ(catalog.tracks[1].bytes, 500u);
    EXPECT_EQ(catalog.tracks[2].fileName, "D/Intro.pcm") << "upper-case extensions convert too";

    std::ofstream(cacheB, std::ios::trunc).close();
    EXPECT_EQ(scan(m_ffmpeg).pending.size(), 4u) << "an empty cache file is no conversion";

    // A conversion that failed is listed as such, and no longer pending.
    std::ofstream(ConversionCache::marker(m_ffmpeg.cachedPCM(m_dir / "lib/E/beta.ogg")))
        << "exit status 1\n";
    catalog = scan(m_ffmpeg);
    EXPECT_EQ(catalog.failed, Names{"beta"});
    EXPECT_EQ(catalog.pending, (Names{"Alpha", "Intro", "Intro"}));
    EXPECT_EQ(catalog.pendingSources.size(), 3u);
    EXPECT_EQ(scan(m_noFFmpeg).failed, Names{"beta"})
        << "the file made its conversion fail: it stays failed whether ffmpeg is found or not";
}

} // namespace
} // namespace vorn
