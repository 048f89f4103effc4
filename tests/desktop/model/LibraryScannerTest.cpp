#include "model/LibraryScanner.h"

#include "platform/Preferences.h"
#include "support/MediaFixtures.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using Contents = std::shared_ptr<const LibraryContents>;

TEST(LibraryScannerTest, OnlyTheNewestRequestIsDelivered) {
    test::TempDir dir;
    dir.write("one/Music/First.pcm", std::string(21973, '\x80'));
    dir.write("two/Art/Second.pcm", std::string(21973, '\x80'));
    test::IdleConverters converters;
    LibraryScanner scanner(converters.get());
    QSignalSpy spy(&scanner, &LibraryScanner::scanned);

    scanner.request(dir / "one", true);
    scanner.request(dir / "two", true); // the library changed while the first scan ran
    ASSERT_TRUE(spy.wait(10000)) << "no scan arrived";
    const Contents first = spy[0][0].value<Contents>();
    ASSERT_EQ(first->tracks().size(), 1u);
    EXPECT_EQ(first->tracks()[0].displayName, "Second") << "the older scan was dropped";
    EXPECT_FALSE(scanner.busy()) << "nothing else is on its way";
    EXPECT_EQ(spy.count(), 1);

    scanner.request({}, true);
    ASSERT_TRUE(spy.wait(10000));
    EXPECT_EQ(spy[1][0].value<Contents>()->libraryCount(), 0) << "no folder, empty lists";
}

// A rescan for a finished conversion queues nothing; one that replaces a waiting or
// running rescan for a change of the library must not take that rescan's queueing away.
TEST(LibraryScannerTest, AReplacedRescanStillQueuesConversions) {
    test::TempDir dir;
    dir.write("lib/Music/Tune.wav", "wav");
    const auto ffmpeg = test::writeScript(dir / "bin/ffmpeg", "for out; do :; done\n"
                                                              "printf x > \"$out\"");
    Preferences preferences(dir / "preferences.json");
    AudioTranscoder audio(dir / "cache", ffmpeg.string());
    PictureTranscoder pictures(preferences, dir / "cache", std::nullopt, std::nullopt);
    LibraryScanner scanner(Converters{audio, pictures});
    std::atomic<int> converted{0};
    scanner.setOnConverted([&] { ++converted; });
    QSignalSpy spy(&scanner, &LibraryScanner::scanned);

    scanner.request(dir / "lib", true, true);  // the library changed
    scanner.request(dir / "lib", true, false); // a conversion ended meanwhile
    ASSERT_TRUE(spy.wait(10000));
    EXPECT_EQ(spy[0][0].value<Contents>()->pendingAudio(), std::vector<std::string>{"Tune"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return converted.load() == 1; }, 10000))
        << "the pending file was never queued";
}

} // namespace
} // namespace vorn
