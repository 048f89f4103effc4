#include "server/Media.h"

#include "audio/AudioTranscoder.h"
#include "convert/ConversionTools.h"
#include "pictures/PictureTranscoder.h"
#include "platform/ChildProcess.h"
#include "platform/Preferences.h"
#include "scan/LibraryScan.h"
#include "server/Routes.h"
#include "server/ShareServer.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

namespace vorn {
namespace {

const std::string kBase = "http://lan:8271/";
constexpr std::uint64_t kTrackBytes = 219730; // ten seconds

// A track with a blank in its name, a disk "Saga IV Dk1" and three library screens, two of
// which reduce to the disk's cover name "saga iv".
class MediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.write("lib/Music/Intro Song.pcm", std::string(kTrackBytes, '\x80'));
        m_dir.write("lib/Saga IV Dk1.po", test::ProDosBytes(2).bytes());
        for (const char* name : {"Saga IV.shr", "Saga IV Dk2.shr", "Tom & Jerry.shr"}) {
            m_dir.write(std::string("lib/Art/") + name, std::string(32712, 'x'));
        }
        m_state.rescan(m_dir / "lib");
    }
    Answer send(const std::string& method, const std::string& target) {
        return Routes::handle(
            m_state, Request::parse(method + " " + target + " HTTP/1.1\r\nHost: lan:8271"), "");
    }
    // The body of a complete 200 answer.
    std::string body(const std::string& target) {
        const Answer answer = send("GET", target);
        EXPECT_TRUE(answer.bytes.starts_with("HTTP/1.1 200 OK\r\n")) << target;
        const auto at = answer.bytes.find("\r\n\r\n");
        return at == std::string::npos ? "" : answer.bytes.substr(at + 4);
    }
    std::string lastLine() const {
        const auto lines = m_state.status.recentLines.all();
        return lines.empty() ? "" : lines.back().substr(10); // without "HH:mm:ss  "
    }

    test::TempDir m_dir;
    test::IdleConverters m_converters;
    ShareState m_state{m_converters.get()};
};

TEST_F(MediaTest, CatalogPagesAndSearches) {
    const AudioCatalog& audio = m_state.audio();
    const PictureCatalog& pictures = m_state.pictures();
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"/vorn-audio.json", audio.pageJSON(1, kBase), "audio page 1"},
        {"/vorn-pictures-0.json", pictures.pageJSON(1, kBase), "pictures page 0"},
        {"/search?i=a&q=x&p=0", audio.searchJSON("x", 1, kBase, std::nullopt, false),
         "audio search \"x\" p0"},
        {"/search?i=a&q=intro&cat=Music", audio.searchJSON("intro", 1, kBase, "Music", false),
         "audio search \"intro\" cat \"Music\" p1"},
        {"/search?i=s&q=abc",
         "{ \"pages\": 1, \"total\": 0, \"catalog\": \"stations\", \"tracks\": [] }\n",
         "stations search \"abc\" (none on a LAN share)"},
        {"/search?i=p&q=saga&p=7", pictures.searchJSON("saga", 7, kBase, std::nullopt, false),
         "pictures search \"saga\" p7"},
    };
    for (const auto& [target, expected, logged] : cases) {
        EXPECT_EQ(body(target), expected) << target;
        EXPECT_EQ(lastLine(), logged) << target;
    }
    EXPECT_NE(m_state.yourHubJSON(YourHub::Kind::audio).find("\"cat\": \"Music\", \"n\": 1"),
              std::string::npos);
    EXPECT_EQ(m_state.rescanSummary(), "rescan: 1 disk image(s), 1 track(s), 3 picture(s)");
}

TEST_F(MediaTest, DownloadsComeFromTheCatalogsOnly) {
    for (const char* target : {"/audio/", "/audio/.x", "/audio/Music/.Intro%20Song.pcm",
                               "/audio/Music/Intro%20Song.PCM", "/pictures/Art/"}) {
        const Answer answer = send("GET", target);
        EXPECT_TRUE(answer.bytes.starts_with("HTTP/1.1 404 ") &&
                    answer.bytes.ends_with("no such file\n") && !answer.file)
            << target;
    }
    // The parser decodes once and the route once more, so %2520 is a blank as well.
    for (const char* target : {"/audio/Music/Intro%20Song.pcm", "/audio/Music/Intro%2520Song.pcm",
                               "/audio//Music/Intro%20Song.pcm"}) {
        const Answer answer = send("GET", target);
        ASSERT_TRUE(answer.file) << target;
        EXPECT_EQ(answer.file->path, m_state.audio().tracks[0].pcmPath);
        EXPECT_EQ(answer.length, kTrackBytes);
    }
    EXPECT_TRUE(m_state.status.lastRead.find("audio/Music/Intro Song.pcm"));

    const Answer picture = send("GET", "/pictures/Art/Tom%20%26%20Jerry.shr");
    ASSERT_TRUE(picture.file);
    EXPECT_EQ(picture.file->path, m_dir / "lib/Art/Tom & Jerry.shr");
}

// A name that itself holds a "%" escape is listed with its "%" encoded once more; the
// parser and the route together decode the URL twice, which names another file, so the
// name as it stands must be tried too. Every listed URL, of every kind, must be served.
TEST_F(MediaTest, ItemsWithPercentSignsInTheirNamesAreServed) {
    m_dir.write("lib/a%20b.po", test::ProDosBytes(2).bytes());
    m_dir.write("lib/100%.po", test::ProDosBytes(2).bytes());
    m_dir.write("lib/Music/x%41y.pcm", std::string(1000, '\x80'));
    m_dir.write("lib/Art/50%25 off.shr", std::string(32712, 'x'));
    m_state.rescan();
    std::vector<std::string> urls;
    for (const std::string& json :
         {m_state.catalog().pageJSON(1, kBase, {}), m_state.audio().pageJSON(1, kBase),
          m_state.pictures().pageJSON(1, kBase)}) {
        for (auto at = json.find("\"url\": \""); at != std::string::npos;
             at = json.find("\"url\": \"", at + 1)) {
            const auto start = at + 8 + kBase.size();
            urls.push_back("/" + json.substr(start, json.find('"', start) - start));
        }
    }
    ASSERT_EQ(urls.size(), 9u);
    for (const std::string& url : urls) {
        const Answer answer = send("GET", url);
        EXPECT_TRUE(answer.bytes.starts_with("HTTP/1.1 200 OK\r\n") && answer.file)
            << "listed but not served: " << url;
    }
}

TEST_F(MediaTest, PicturesBecomeCoversAndIndexEntries) {
    const Covers covers = Media::coverMap(m_state, kBase);
    EXPECT_EQ(covers.at("saga iv"), kBase + "pictures/Art%2FSaga%20IV%20Dk2.shr")
        << "the later of two pictures with one cover name wins";
    EXPECT_NE(body("/vorn-volumes.json")
                  .find("\"cover\": \"http://lan:8271/pictures/Art%2FSaga%20IV%20Dk2.shr\""),
              std::string::npos);

    const std::string index = body("/");
    for (const char* piece :
         {"(1 track, u8/21973/mono PCM)</p>\n<ul><li><a href=\"/audio/Music/Intro%20Song.pcm\">"
          "Intro Song</a> (10 s, 214 KB)</li></ul>\n",
          "(3 stills, 320x200 SHR)</p>\n<ul><li><a href=\"/pictures/Art/Saga%20IV.shr\">Saga "
          "IV</a> (SHR)</li>"}) {
        EXPECT_NE(index.find(piece), std::string::npos) << piece << "\nin\n" << index;
    }
}

// A conversion's end rescans its own kind only: the share goes on serving the disk images
// and the pictures of the scan before it.
TEST(MediaShareTest, AFinishedConversionKeepsTheOtherCatalogs) {
    test::TempDir dir;
    dir.write("lib/Games/Zork.po", test::ProDosBytes(2).bytes());
    dir.write("lib/Art/Sky.shr", std::string(32712, 'x'));
    dir.write("lib/Tune.wav", "RIFF");
    const auto ffmpeg =
        test::writeScript(dir / "bin/ffmpeg", "for out; do :; done\nprintf x > \"$out\"");
    Preferences preferences(dir / "preferences.json");
    AudioTranscoder audio(dir / "cache", ffmpeg.string());
    PictureTranscoder pictures(preferences, dir / "cache", std::nullopt, std::nullopt);
    ShareServer server(LibraryScan::run({audio, pictures}, dir / "lib", true), false, "Vorn Test",
                       std::nullopt, {audio, pictures});
    server.convertPending();
    ASSERT_TRUE(test::eventually([&] { return !server.currentAudioCatalog().tracks.empty(); }))
        << "the stand-in ffmpeg converts";
    EXPECT_EQ(server.currentDiskCatalog().images().size(), 1u) << "the disk image is still served";
    EXPECT_EQ(server.currentPictureCatalog().pictures.size(), 1u) << "so is the picture";
}

// The whole road with the real converters: the server finds a WAV and a picture in its
// library, converts both in the background and then serves them.
TEST(MediaShareTest, ConvertedTrackAndScreenAreServed) {
    test::FoundConverters converters;
    const std::optional<std::string> ffmpeg = ConversionTools::findFFmpeg();
    const std::optional<std::string> python = converters.pictures().pythonPath();
    if (!converters.ready()) {
        GTEST_SKIP() << "ffmpeg, or python3 with numpy and Pillow, is missing";
    }
    test::TempDir dir;
    ASSERT_TRUE(test::drawRedBlue(*python, dir / "lib/Art/Title.png"));
    ASSERT_EQ(ChildProcess::run(*ffmpeg, {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                          "aevalsrc='if(lt(mod(t*100,1),0.5),-1,1)':d=1",
                                          (dir / "lib/Tune.wav").string()}),
              0);

    ShareServer server(LibraryScan::run(converters.get(), dir / "lib", true), false, "Vorn Test",
                       std::nullopt, converters.get());
    server.convertPending();
    server.start(0);
    const auto converted = [&] {
        return server.currentAudioCatalog().tracks.size() == 1 &&
               server.currentPictureCatalog().pictures.size() == 1;
    };
    ASSERT_TRUE(test::eventually(converted, std::chrono::seconds(20))) << "the track and the picture were not both converted within 20 s";

    test::HttpClient client(server.status().port);
    ASSERT_TRUE(client.connected());
    const auto get = [&](const std::string& target) {
        auto reply = client.request("GET " + target + " HTTP/1.1\r\nHost: share\r\n\r\n");
        EXPECT_TRUE(reply && reply->status == 200) << target;
        return reply ? reply->body : "";
    };
    const std::string pcm = get("/audio/Tune.pcm");
    EXPECT_NEAR(double(pcm.size()), 21973.0, 1100.0);
    EXPECT_EQ(pcm.find('\0'), std::string::npos) << "served audio holds a zero byte";
    EXPECT_EQ(get("/pictures/Art/Title.shr").size(), 32712u);
}

} // namespace
} // namespace vorn
