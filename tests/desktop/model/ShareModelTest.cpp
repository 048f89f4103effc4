// The desktop model against real libraries, a real share server on loopback and the
// offscreen clipboard. The table, tree and category operations are tested with their own
// classes and through the window; these check what the model and its parts add:
// settings, sharing, what the card sees of it, the lights, the log, dated copies, the
// labels and the tools.

#include "model/ShareModel.h"

#include "audio/AudioTranscoder.h"
#include "library/ShareSettings.h"
#include "model/FolderChooser.h"
#include "model/LibraryTableModel.h"
#include "model/WindowTexts.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "scan/LibraryScan.h"
#include "support/FreePort.h"
#include "support/HttpClient.h"
#include "support/MediaFixtures.h"
#include "support/ProDosBytes.h"
#include "support/TempDir.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vorn {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::freePort;
using test::get;

// 4 December 2026, 17:30 local time.
Date decemberEvening() {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 4;
    local.tm_hour = 17;
    local.tm_min = 30;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

class FixedChooser : public FolderChooser {
public:
    explicit FixedChooser(std::optional<fs::path> answer) : m_answer(std::move(answer)) {}
    std::optional<fs::path> chooseFolder(const fs::path&) override { return m_answer; }

private:
    std::optional<fs::path> m_answer;
};

class ShareModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Stand-in tools: the probe is quick and the same on every machine.
        test::writeScript(m_dir / "bin/ffmpeg", "exit 1");
        test::writeScript(m_dir / "bin/python3", "exit 0");
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (m_dir / "bin").c_str(), 1);
        EXPECT_TRUE(m_prefs.set("advertise", false)); // no Avahi daemon is asked
        EXPECT_TRUE(m_prefs.set("port", std::int64_t(freePort())));
        m_dir.write("lib/Games/Game.po", test::ProDosBytes(280).volume("GAME").bytes());
        m_dir.write("lib/Music/Song.pcm", std::string(21973, '\x80'));
        m_dir.write("lib/Art/Pic.shr", std::string(1000, 'x'));
        m_dir.write("lib/Old.dsk", std::string(143360, '\0'));
        m_dir.write("other/Other.po", test::ProDosBytes(280).volume("OTHER").bytes());
    }
    void TearDown() override { setenv("PATH", m_oldPath.c_str(), 1); }

    std::unique_ptr<ShareModel> makeModel() {
        return std::make_unique<ShareModel>(m_prefs, m_audio, m_pictures);
    }
    // A model of the library "lib", scanned.
    std::unique_ptr<ShareModel> libraryModel() {
        EXPECT_TRUE(m_prefs.set("folder", (m_dir / "lib").string()));
        auto model = makeModel();
        EXPECT_TRUE(scanned(*model));
        return model;
    }
    static bool scanned(ShareModel& model) {
        return QTest::qWaitFor([&] { return !model.working(); }, 10000);
    }
    // What the table lists now (replaced by the next scan).
    static const LibraryContents& listed(const ShareModel& model) {
        return model.library().contents();
    }
    static bool sharingIs(ShareModel& model, bool on) {
        return QTest::qWaitFor([&] { return model.sharing() == on; }, 5000);
    }
    // The card's request, answered by the share (status 0 when none answered).
    test::Reply ask(const ShareModel& model, const std::string& wire) {
        test::HttpClient client(model.port());
        return client.ask(wire);
    }

    test::TempDir m_dir;
    Preferences m_prefs{m_dir / "config/preferences.json"};
    AudioTranscoder m_audio{m_dir / "cache", std::nullopt};
    PictureTranscoder m_pictures{m_prefs, m_dir / "cache", std::nullopt, std::nullopt};
    std::string m_oldPath;
};

TEST_F(ShareModelTest, StartsFromEmptyOrOddPreferences) {
    Preferences empty(m_dir / "config/empty.json");
    ShareModel fresh(empty, m_audio, m_pictures);
    fresh.start();
    EXPECT_FALSE(fresh.sharing()) << "no library, nothing to share";
    EXPECT_FALSE(fresh.library().scanning()) << "no library, no scan at launch";

    Preferences odd(m_dir / "config/odd.json");
    ASSERT_TRUE(odd.set("writable", "no"));
    ASSERT_TRUE(odd.set("folder", (m_dir / "lib/").string()));
    ShareModel model(odd, m_audio, m_pictures);
    EXPECT_TRUE(model.writable()) << "a text is not a Boolean";
    EXPECT_EQ(model.folderPath(), (m_dir / "lib").string()) << "the trailing / is dropped";
    ASSERT_TRUE(scanned(model));
    EXPECT_EQ(listed(model).images().size(), 1u) << "the stored library is scanned at launch";
    EXPECT_EQ(model.library().tableModel().rowCount(), 3) << "image, track and picture rows";
    EXPECT_EQ(listed(model).rejected(), 1);
    EXPECT_TRUE(m_prefs.set("theme", "gs"));
    EXPECT_EQ(makeModel()->uiTheme(), UITheme::gs) << "the stored look is read";
}

TEST_F(ShareModelTest, SharingFollowsTheServer) {
    auto model = libraryModel();
    model->start();
    ASSERT_TRUE(sharingIs(*model, true)) << "the server's status reaches the model";

    // A second model cannot take the port; it says why and still lists its library.
    auto second = makeModel();
    ASSERT_TRUE(scanned(*second));
    second->start();
    ASSERT_TRUE(scanned(*second));
    ASSERT_TRUE(second->lastError());
    EXPECT_EQ(*second->lastError(), "Cannot listen on port " + std::to_string(second->port()) +
                                        ": Address already in use");
    EXPECT_FALSE(second->sharing());
    EXPECT_EQ(listed(*second).images().size(), 1u);

    // Changes in the shared folder show up without a rescan being asked for.
    m_dir.write("lib/Games/New.po", test::ProDosBytes(280).volume("NEW").bytes());
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed(*model).images().size() == 2; }, 10000))
        << "the folder watcher rescans";

    model->stop();
    EXPECT_FALSE(model->sharing()) << "stop does not wait for a status";
}

// Start shares the scan the table lists: the library is walked once, not once for the
// table, once for the server and once more for a rescan.
TEST_F(ShareModelTest, StartWalksTheLibraryOnce) {
    auto model = libraryModel();
    const std::uint64_t before = LibraryScan::walks();
    model->start();
    ASSERT_TRUE(sharingIs(*model, true));
    ASSERT_TRUE(scanned(*model));
    // The server walks nothing itself: once it answers, every walk of the start is counted.
    EXPECT_NE(ask(*model, get("/vorn-volumes.json")).body.find("\"name\": \"Game\""),
              std::string::npos)
        << "the share serves that scan";
    EXPECT_EQ(LibraryScan::walks() - before, 1u);
}

TEST_F(ShareModelTest, ChoosingAFolderWhileSharingSharesTheNewOne) {
    auto model = libraryModel();
    model->setFolderChooser(std::make_unique<FixedChooser>(std::nullopt));
    model->chooseFolder();
    EXPECT_EQ(model->folderPath(), (m_dir / "lib").string())
        << "a cancelled choice changes nothing";

    model->setFolderChooser(std::make_unique<FixedChooser>(m_dir / "other"));
    model->start();
    ASSERT_TRUE(sharingIs(*model, true));
    model->chooseFolder();
    EXPECT_EQ(m_prefs.string("folder"), (m_dir / "other").string());
    ASSERT_TRUE(sharingIs(*model, true)) << "sharing again, on the new folder";
    ASSERT_TRUE(scanned(*model));
    ASSERT_EQ(listed(*model).images().size(), 1u);
    EXPECT_EQ(listed(*model).images()[0].volumeName, "OTHER");
    const test::Reply volumes = ask(*model, get("/vorn-volumes.json"));
    EXPECT_NE(volumes.body.find("\"name\": \"Other\""), std::string::npos) << volumes.body;
    EXPECT_EQ(volumes.body.find("\"name\": \"Game\""), std::string::npos) << volumes.body;

    model->stop();
    model->setFolderChooser(std::make_unique<FixedChooser>(m_dir / "lib"));
    model->chooseFolder();
    ASSERT_TRUE(scanned(*model));
    EXPECT_EQ(listed(*model).images()[0].volumeName, "GAME") << "not sharing: only rescanned";
    EXPECT_FALSE(model->sharing());
    EXPECT_FALSE(test::HttpClient(model->port()).connected());
}

TEST_F(ShareModelTest, LightsShowTheCardsReadsAndWritesForTwoSeconds) {
    auto model = libraryModel();
    model->start();
    ASSERT_TRUE(sharingIs(*model, true));
    test::HttpClient card(model->port());
    EXPECT_EQ(card.ask(get("/Games/Game.po", "Range: bytes=0-511\r\n")).status, 206);
    EXPECT_EQ(card.ask(get("/audio/Music/Song.pcm")).status, 200);
    EXPECT_EQ(card.ask(get("/pictures/Art/Pic.shr")).status, 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->lastRead().size() == 3; }, 5000));
    const Date read = *model->lastRead().find("Games/Game.po");
    const std::string song = listed(*model).tracks().at(0).fileName;
    const std::string pic = listed(*model).pictures().at(0).fileName;

    model->setNow(read + 1900ms);
    EXPECT_EQ(model->activityForDisk("Games/Game.po"), Activity::read);
    EXPECT_EQ(model->activityForAudio(song), Activity::read);
    EXPECT_EQ(model->activityForPicture(pic), Activity::read);
    const QModelIndex gameRow = model->library().tableModel().index(0, 0);
    EXPECT_EQ(gameRow.data(LibraryTableModel::ActivityRole).toInt(), int(Activity::read));
    model->setNow(*model->lastRead().find("audio/" + song) + 2s);
    EXPECT_EQ(model->activityForAudio(song), Activity::none) << "dark after two seconds";

    const std::string block(512, '\x5a');
    const test::Reply written = card.ask("PUT /Games/Game.po HTTP/1.1\r\nContent-Length: 512\r\n"
                                         "Content-Range: bytes 1024-1535/143360\r\n\r\n" +
                                         block);
    EXPECT_EQ(written.status / 100, 2) << written.head;
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->lastWrite().size() == 1; }, 5000));
    const Date wrote = *model->lastWrite().find("Games/Game.po");
    model->setNow(wrote + 1s);
    EXPECT_EQ(model->activityForDisk("Games/Game.po"), Activity::write) << "a write outshines";

    // The tick moves the lights on while one may be lit, and leaves an idle share alone.
    QSignalSpy redraws(model.get(), &ShareModel::activityChanged);
    model->setClock([&] { return wrote + 2500ms; });
    model->tick();
    EXPECT_EQ(redraws.count(), 1);
    EXPECT_EQ(model->now(), wrote + 2500ms);
    model->setClock([&] { return wrote + 3500ms; });
    model->tick();
    EXPECT_EQ(redraws.count(), 1) << "nothing read or written in the last 3 s: no redraw";
}

// The share serves the model's scans, and the model queues the conversions: one that ends
// while sharing reaches the table and the card alike.
TEST_F(ShareModelTest, ConversionsThatEndWhileSharingReachTheTableAndTheCard) {
    fs::remove(m_dir / "bin/ffmpeg");
    m_dir.write("lib/Music/Tune.wav", "wav");
    EXPECT_TRUE(m_prefs.set("folder", (m_dir / "lib").string()));
    AudioTranscoder& audio = m_audio; // the model's and its server's
    ShareModel model(m_prefs, audio, m_pictures);
    ASSERT_TRUE(scanned(model));
    EXPECT_EQ(listed(model).audioNeedsFFmpeg(), 1);

    test::writeScript(m_dir / "bin/ffmpeg", "while [ ! -e \"${0%/*}/go\" ]; do sleep 0.05; done\n"
                                            "for out; do :; done\n"
                                            "printf x > \"$out\"");
    audio.findTools();
    model.start();
    ASSERT_TRUE(sharingIs(model, true));
    ASSERT_TRUE(scanned(model));
    EXPECT_EQ(listed(model).pendingAudio(), std::vector<std::string>{"Tune"});
    m_dir.write("bin/go", "");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return listed(model).pendingAudio().empty() && listed(model).tracks().size() == 2; },
        10000))
        << "still pending";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return ask(model, get("/vorn-audio.json")).body.find("\"Tune\"") != std::string::npos;
        },
        5000));
}

TEST_F(ShareModelTest, LogShowsTheNewest60Lines) {
    auto model = libraryModel();
    model->start();
    ASSERT_TRUE(sharingIs(*model, true));
    // The share's first line: the card's requests make the newest lines after it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !model->logLines().empty() &&
                   model->logLines().back().find("share up on port") != std::string::npos;
        },
        5000));
    test::HttpClient card(model->port());
    for (int page = 1; page <= 70; ++page) {
        ASSERT_EQ(card.ask(get("/vorn-volumes-" + std::to_string(page) + ".json")).status, 200);
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model->logLines().back().ends_with("page 70"); }, 5000));
    EXPECT_EQ(model->requests(), 70u)
        << "every request counted, however the statuses were coalesced";
    const std::vector<std::string>& lines = model->logLines();
    ASSERT_EQ(lines.size(), ShareModel::shownLogLines);
    EXPECT_TRUE(lines.back().ends_with("catalog page 70")) << lines.back();
    EXPECT_TRUE(lines.front().ends_with("catalog page 11")) << lines.front();
}

TEST_F(ShareModelTest, WritableAndCategoriesReachARunningShare) {
    auto model = libraryModel();
    model->start();
    ASSERT_TRUE(sharingIs(*model, true));
    const auto writableHeader = [&] {
        test::HttpClient card(model->port());
        const auto head = card.request("HEAD /Games/Game.po HTTP/1.1\r\nHost: share\r\n\r\n", true);
        return head ? head->header("X-Vorn-Writable") : std::nullopt;
    };
    EXPECT_EQ(writableHeader(), "1");
    model->setWritable(false);
    EXPECT_EQ(m_prefs.boolean("writable"), false);
    EXPECT_EQ(writableHeader(), "0") << "the server is told at once";

    // The card asks for the categories of disks, and with ?i=a of audio.
    const auto hub = [&](const std::string& query = "") {
        return ask(*model, get("/vorn-your-hub.json" + query)).body;
    };
    model->library().setCategoryLabel("Music", "Songs");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return hub("?i=a").find("\"name\": \"Songs\"") != std::string::npos; }, 5000))
        << hub("?i=a");
    const std::string key = ShareSettings::hubKey(model->folderPath());
    EXPECT_TRUE(m_prefs.string(key)) << "stored for this library";
    model->library().setHubOverride(std::nullopt);
    EXPECT_FALSE(m_prefs.string(key)) << "the defaults need nothing stored";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return hub("?i=a").find("\"name\": \"Music\"") != std::string::npos; }, 5000));
}

TEST_F(ShareModelTest, SnapshotsAreDatedAndFailuresExplained) {
    auto model = libraryModel();
    model->setClock(decemberEvening);
    const DiskImage game = listed(*model).images().at(0);
    std::vector<std::optional<fs::path>> made;
    QObject::connect(model.get(), &ShareModel::snapshotEnded,
                     [&](std::optional<fs::path> copy) { made.push_back(copy); });
    const auto snapshot = [&](const DiskImage& image) {
        made.clear();
        model->snapshot(image);
        EXPECT_EQ(model->work().busy(ModelWorker::Job::copy), true) << "copied on the worker";
        return QTest::qWaitFor([&] { return !made.empty(); }, 5000) ? made.back() : std::nullopt;
    };
    const auto first = snapshot(game);
    const auto second = snapshot(game);
    const auto third = snapshot(game);
    ASSERT_TRUE(first && second && third) << model->lastError().value_or("");
    EXPECT_EQ(first->filename(), "Game 2026-12-04 1730.po");
    EXPECT_EQ(second->filename(), "Game 2026-12-04 1730-2.po");
    EXPECT_EQ(third->filename(), "Game 2026-12-04 1730-3.po");
    EXPECT_EQ(test::slurp(*third), test::slurp(game.path));
    ASSERT_TRUE(scanned(*model));
    EXPECT_EQ(listed(*model).images().size(), 4u) << "the copies are listed after the rescan";

    fs::remove(game.path);
    EXPECT_FALSE(snapshot(game));
    EXPECT_EQ(model->lastError(), "Snapshot failed: No such file or directory");
    const auto copy = std::find_if(listed(*model).images().begin(), listed(*model).images().end(),
                                   [&](const DiskImage& image) { return image.path == *first; });
    ASSERT_NE(copy, listed(*model).images().end());
    EXPECT_TRUE(snapshot(*copy));
    EXPECT_FALSE(model->lastError()) << "a snapshot that works clears the error";
}

// A picture's knobs that the preferences file did not take still convert, but the person
// is told they will not be there next time.
TEST_F(ShareModelTest, PictureKnobsThatCannotBeStoredAreReported) {
    auto model = libraryModel();
    fs::remove_all(m_dir / "config");
    m_dir.write("config", "a file where the settings folder was");
    StillPic picture;
    picture.sourcePath = m_dir / "lib/Art/Photo.png";
    model->tools().reconvert(picture, StillPic::Knobs{2, 1, true});
    EXPECT_TRUE(model->lastError().value_or("").starts_with("Settings not saved: "))
        << "told: " << model->lastError().value_or("nothing");
}

// A failed conversion is not tried again by itself, and stays in sight: counted, and
// listed with its reason. Recheck in the conversion tools tries it again.
TEST_F(ShareModelTest, FailedConversionsShowUntilRecheckTriesAgain) {
    m_dir.write("lib/Music/Tune.wav", "wav");
    auto model = libraryModel();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return listed(*model).audio().failed == std::vector<std::string>{"Tune"}; }, 10000))
        << "the stand-in ffmpeg fails";
    EXPECT_FALSE(listed(*model).audio().failedReasons.at(0).empty());
    const auto counts = WindowTexts::countsLine(model->library());
    EXPECT_TRUE(std::any_of(counts.begin(), counts.end(), [](const auto& part) {
        return part.text == "+ 1 track (1 failed)";
    })) << "the counts line says so";

    test::writeScript(m_dir / "bin/ffmpeg", "for out; do :; done\nprintf x > \"$out\"");
    model->tools().recheck();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return listed(*model).tracks().size() == 2 && listed(*model).audio().failed.empty();
        },
        10000))
        << "Recheck converts it";
}

// The labels' resets are fired by the test, in the order their times would end.
TEST_F(ShareModelTest, CopiedLabelsLastTheirTime) {
    auto model = makeModel();
    std::vector<std::function<void()>> resets;
    model->setTimer([&](int ms, std::function<void()> then) {
        EXPECT_EQ(ms, ShareModel::copiedLabelMs);
        resets.push_back(std::move(then));
    });
    model->copyURL();
    model->copyCommand("first");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "first");
    model->copyURL();
    model->copyCommand("second");
    ASSERT_EQ(resets.size(), 4u);
    resets[0](); // the first address press's time ends
    EXPECT_FALSE(model->copiedPulse()) << "the address label ends with the first press's reset";
    resets[1](); // the first command's
    EXPECT_EQ(model->copiedCommand(), "second") << "a newer command keeps its label";
    resets[3]();
    EXPECT_EQ(model->copiedCommand(), "") << "until its own time ends";

    model->copyURL();
    EXPECT_TRUE(model->copiedPulse());
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), model->shareURL());
}

TEST_F(ShareModelTest, ConversionHelpOpensOnceForMissingTools) {
    fs::remove(m_dir / "bin/ffmpeg");
    auto model = makeModel();
    model->tools().offerHelpIfNeeded();
    EXPECT_FALSE(model->tools().showHelp()) << "not before the tools are known";
    ASSERT_TRUE(scanned(*model)) << "the tools are looked for on the worker";
    EXPECT_FALSE(model->tools().conversion().ffmpegPath);
    EXPECT_TRUE(model->tools().conversion().picturesReady);
    model->tools().offerHelpIfNeeded();
    EXPECT_TRUE(model->tools().showHelp()) << "ffmpeg is missing, once that is known";
    model->tools().dismissHelp();
    model->tools().offerHelpIfNeeded();
    EXPECT_FALSE(model->tools().showHelp()) << "the user closed it before";

    EXPECT_TRUE(m_prefs.remove(ToolsModel::conversionHelpDismissedKey));
    test::writeScript(m_dir / "bin/ffmpeg", "exit 1");
    model->tools().recheck();
    ASSERT_TRUE(scanned(*model));
    EXPECT_EQ(model->tools().conversion().ffmpegPath, (m_dir / "bin/ffmpeg").string());
    model->tools().offerHelpIfNeeded();
    EXPECT_FALSE(model->tools().showHelp()) << "every tool is there";
}

} // namespace
} // namespace vorn
