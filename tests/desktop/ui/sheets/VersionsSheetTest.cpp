// The versions sheet clicked as a user does, on an image the card wrote through a real
// share: what each restore leaves on disk and what the sheet shows afterwards.

#include "ui/sheets/VersionsSheet.h"

#include "SheetFixture.h"
#include "support/FreePort.h"
#include "support/HttpClient.h"
#include "ui/A2Button.h"
#include "ui/ThemedLabel.h"

#include <QListWidget>

namespace vorn {
namespace {

namespace fs = std::filesystem;

class VersionsSheetTest : public test::SheetFixture {
protected:
    void SetUp() override {
        SheetFixture::SetUp();
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        EXPECT_TRUE(m_prefs.set("port", std::int64_t(test::freePort())));
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        SheetFixture::TearDown();
    }
};

TEST_F(VersionsSheetTest, RestoresAsACopyAndInPlaceAndTheRestoreCanBeUndone) {
    addDisk("Games");
    auto model = libraryModel();
    const DiskImage disk = model->library().contents().images().at(0);
    const std::string before = test::slurp(disk.path);

    VersionsSheet sheet(*model, model->versions(), false);
    model->versions().setImage(disk);
    sheet.show();
    EXPECT_TRUE(showsText(sheet, "Reading versions...")) << "listed on the model's worker";
    EXPECT_TRUE(QTest::qWaitFor([&] { return showsText(sheet, "No versions yet"); }, 5000))
        << "an image the card never wrote";
    EXPECT_FALSE(sheet.copyButton()->isEnabled());
    click(sheet.closeButton());
    EXPECT_FALSE(model->versions().image()) << "Done closes the sheet through the model";

    model->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->sharing(); }, 5000));
    test::HttpClient card(model->port());
    const test::Reply written =
        card.ask(test::putRequest("/Games/Disk.po", 2048, std::string(512, '\x77'), before.size()));
    ASSERT_EQ(written.status / 100, 2) << written.head;
    const std::string after = test::slurp(disk.path);

    model->versions().setImage(disk);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.list()->count() == 1; }, 5000))
        << "one session of writes, one version";
    EXPECT_TRUE(sheet.list()->item(0)->text().contains("1 block"))
        << sheet.list()->item(0)->text().toStdString();

    click(sheet.copyButton());
    EXPECT_EQ(sheet.copyButton()->text(), "Copying...") << "the copy is made on the worker";
    EXPECT_FALSE(sheet.inPlaceButton()->isEnabled()) << "one restore at a time";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet.outcome()->shownText().isEmpty(); }, 5000));
    EXPECT_EQ(sheet.copyButton()->text(), "Restore as Copy");
    EXPECT_TRUE(sheet.outcome()->shownText().startsWith("Restored as "))
        << sheet.outcome()->shownText().toStdString();
    const fs::path copy =
        disk.path.parent_path() / sheet.outcome()->shownText().mid(12).chopped(1).toStdString();
    EXPECT_EQ(test::slurp(copy), before) << "the copy holds the image before the card wrote";
    EXPECT_EQ(test::slurp(disk.path), after) << "a copy leaves the image alone";

    click(sheet.inPlaceButton());
    EXPECT_EQ(sheet.inPlaceButton()->text(), "Restoring...");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.list()->count() == 2; }, 5000))
        << "the image as it was is kept before the restore";
    EXPECT_EQ(test::slurp(disk.path), before) << sheet.outcome()->shownText().toStdString();

    sheet.list()->setCurrentRow(0);
    click(sheet.inPlaceButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.list()->count() == 3; }, 5000));
    EXPECT_EQ(test::slurp(disk.path), after) << "restoring the newest version undoes the restore";

    // A restore ends the write session: the card's next write keeps a new version, which
    // the open sheet lists without being opened again.
    card.ask(test::putRequest("/Games/Disk.po", 0, std::string(512, '\x01'), before.size()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.list()->count() == 4; }, 5000))
        << "the sheet still lists " << sheet.list()->count() << " versions";

    // Without a share the window restores by itself, keeping a version as the share does.
    ASSERT_NE(test::slurp(disk.path), after) << "the card's last write changed the image";
    model->stop();
    sheet.list()->setCurrentRow(0);
    click(sheet.inPlaceButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.list()->count() == 5; }, 5000));
    EXPECT_EQ(test::slurp(disk.path), after) << sheet.outcome()->shownText().toStdString();
}

} // namespace
} // namespace vorn
