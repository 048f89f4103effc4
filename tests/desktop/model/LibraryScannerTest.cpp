#include "model/LibraryScanner.h"

#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <QSignalSpy>
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

} // namespace
} // namespace vorn
