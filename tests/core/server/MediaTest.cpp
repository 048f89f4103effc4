#include "server/Media.h"

#include "convert/ConversionTools.h"
#include "pictures/PictureTranscoder.h"
#include "platform/ChildProcess.h"
#include "server/Routes.h"
#include "server/ShareServer.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

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
        m_state.folder = m_dir / "lib";
        m_state.rescan();
        ASSERT_EQ(m_state.audio.tracks.size(), 1u);
        ASSERT_EQ(m_state.pictures.pictures.size(), 3u);
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
    bool notFound(const std::string& target) {
        const Answer answer = send("GET", target);
        return answer.bytes.starts_with("HTTP/1.1 404 ") &&
               answer.bytes.ends_with("no such file\n") && !answer.file;
    }

    test::TempDir m_dir;
    ShareState m_state;
};

TEST_F(MediaTest, CatalogPagesAndSearches) {
    EXPECT_EQ(body("/vorn-audio.json"), m_state.audio.pageJSON(1, kBase));
    EXPECT_EQ(lastLine(), "audio page 1");
    EXPECT_EQ(body("/vorn-audio-2.json"), m_state.audio.pageJSON(2, kBase));
    EXPECT_EQ(lastLine(), "audio page 2");
    EXPECT_EQ(body("/vorn-pictures-0.json"), m_state.pictures.pageJSON(1, kBase));
    EXPECT_EQ(lastLine(), "pictures page 0");
    EXPECT_EQ(body("/vorn-pictures.json"), m_state.pictures.pageJSON(1, kBase));
    EXPECT_EQ(lastLine(), "pictures page 1");

    EXPECT_EQ(body("/search?i=a&q=x&p=0"),
              m_state.audio.searchJSON("x", 1, kBase, std::nullopt, false));
    EXPECT_EQ(lastLine(), "audio search \"x\" p0");
    EXPECT_NE(body("/search?i=a&q=intro&cat=Music").find("\"name\": \"Intro Song\""),
              std::string::npos);
    EXPECT_EQ(lastLine(), "audio search \"intro\" cat \"Music\" p1");
    EXPECT_EQ(body("/search?i=s&q=abc"), AudioCatalog::emptyStationsJSON());
    EXPECT_EQ(lastLine(), "stations search \"abc\" (none on a LAN share)");
    EXPECT_EQ(body("/search?i=p&q=saga&p=7"),
              m_state.pictures.searchJSON("saga", 7, kBase, std::nullopt, false));
    EXPECT_EQ(lastLine(), "pictures search \"saga\" p7");

    EXPECT_NE(m_state.yourHubJSON(YourHub::Kind::audio).find("\"cat\": \"Music\", \"n\": 1"),
              std::string::npos);
    EXPECT_EQ(m_state.rescanSummary(), "rescan: 1 disk image(s), 1 track(s), 3 picture(s)");
}

TEST_F(MediaTest, DownloadsComeFromTheCatalogsOnly) {
    for (const char* target : {"/audio/", "/audio/.x", "/audio/Music/.Intro%20Song.pcm",
                               "/audio/Music/Intro%20Song.PCM", "/pictures/Art/"}) {
        EXPECT_TRUE(notFound(target)) << target;
    }
    // The parser decodes once and the route once more, so %2520 is a blank as well.
    for (const char* target : {"/audio/Music/Intro%20Song.pcm", "/audio/Music/Intro%2520Song.pcm",
                               "/audio//Music/Intro%20Song.pcm"}) {
        const Answer answer = send("GET", target);
        ASSERT_TRUE(answer.file) << target;
        EXPECT_EQ(answer.file->url, m_state.audio.tracks[0].pcmURL);
        EXPECT_EQ(answer.length, kTrackBytes);
    }
    EXPECT_TRUE(m_state.status.lastRead.find("audio/Music/Intro Song.pcm"));

    const Answer head = send("HEAD", "/pictures/Art/Saga%20IV.shr");
    EXPECT_TRUE(head.bytes.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(head.bytes.find("\r\nContent-Length: 32712\r\n"), std::string::npos) << head.bytes;
    EXPECT_TRUE(head.bytes.ends_with("\r\n\r\n"));
    EXPECT_FALSE(head.file) << "HEAD sends no body";

    const Answer get = send("GET", "/pictures/Art/Tom%20%26%20Jerry.shr");
    ASSERT_TRUE(get.file);
    EXPECT_EQ(get.length, 32712u);
    EXPECT_EQ(lastLine(), "GET Tom & Jerry.shr [0-32711]");
    EXPECT_TRUE(m_state.status.lastRead.find("pictures/Art/Tom & Jerry.shr"));
}

TEST_F(MediaTest, PicturesBecomeCoversAndIndexEntries) {
    const Covers covers = Media::coverMap(m_state, kBase);
    EXPECT_EQ(covers.size(), 2u);
    EXPECT_EQ(covers.at("saga iv"), kBase + "pictures/Art%2FSaga%20IV%20Dk2.shr")
        << "the later of two pictures with one cover name wins";
    EXPECT_EQ(covers.at("tom & jerry"), kBase + "pictures/Art%2FTom%20%26%20Jerry.shr");
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

// The whole road with the real converters: the server finds a WAV and a picture in its
// library, converts both in the background and then serves them.
TEST(MediaShareTest, ConvertedTrackAndScreenAreServed) {
    const std::optional<std::string> ffmpeg = ConversionTools::findFFmpeg();
    if (!ffmpeg || !PictureTranscoder::shared().converterReady()) {
        GTEST_SKIP() << "ffmpeg, or python3 with numpy and Pillow, is missing";
    }
    test::TempDir dir;
    dir.mkdir("lib/Art");
    ASSERT_EQ(ChildProcess::run(*ffmpeg, {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                          "aevalsrc='if(lt(mod(t*100,1),0.5),-1,1)':d=1",
                                          (dir / "lib/Tune.wav").string()}),
              0);
    dir.write("lib/Art/Title.bmp", test::bmp(32, 20, [](int x, int y) {
                  return std::uint32_t(x * 8) << 16 | std::uint32_t(y * 12);
              }));

    ShareServer server(dir / "lib", true, false, "Vorn Test", std::nullopt);
    server.start(0);
    const auto logged = [&](const std::string& text) {
        for (const std::string& line : server.status().recentLines.all()) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(test::waitFor([&] { return logged("transcode done: 1 track(s) ready"); }))
        << "the track was not converted within 20 s";
    ASSERT_TRUE(test::waitFor([&] { return logged("picture convert done: 1 ready"); }))
        << "the picture was not converted within 20 s";

    test::HttpClient client(server.status().port);
    ASSERT_TRUE(client.connected());
    const auto get = [&](const std::string& target) {
        return client.request("GET " + target + " HTTP/1.1\r\nHost: share\r\n\r\n");
    };
    auto reply = get("/vorn-audio.json");
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->body.find("\"url\": \"http://share/audio/Tune.pcm\""), std::string::npos)
        << reply->body;
    reply = get("/audio/Tune.pcm");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_NEAR(double(reply->body.size()), 21973.0, 1100.0);
    EXPECT_EQ(reply->body.find('\0'), std::string::npos) << "served audio holds a zero byte";

    reply = get("/vorn-pictures.json");
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->body.find("\"url\": \"http://share/pictures/Art/Title.shr\""),
              std::string::npos)
        << reply->body;
    reply = get("/pictures/Art/Title.shr");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(reply->body.size(), 32712u);
}

} // namespace
} // namespace vorn
