// The conversion help with stand-in tools: what each row says and offers, "Copy" and its
// "Copied", "Recheck" after installing, and "Done" remembering the dismissal (when to open
// it is ShareModelTest's).

#include "ui/sheets/ConversionHelpSheet.h"

#include "SheetFixture.h"
#include "ui/A2Button.h"
#include "ui/sheets/CommandBar.h"
#include "ui/sheets/ToolRow.h"

#include <QApplication>
#include <QClipboard>

namespace vorn {
namespace {

using ConversionHelpSheetTest = test::SheetFixture;

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The command a row offers; empty when its command bar is hidden.
QString offered(const ToolRow* row) {
    return row->commandBar()->isVisible() ? row->commandBar()->command() : QString();
}

TEST_F(ConversionHelpSheetTest, CopyPutsTheCommandOnTheClipboardAndReadsCopied) {
    auto model = libraryModel(); // neither ffmpeg nor python3 on PATH
    ConversionHelpSheet sheet(*model, model->tools(), false);
    sheet.show();
    const ToolRow* audio = sheet.audioRow();
    ASSERT_EQ(offered(audio), qText(ConversionTools::ffmpegInstall));
    A2Button* copyAudio = audio->commandBar()->copyButton();
    A2Button* copyPictures = sheet.picturesRow()->commandBar()->copyButton();

    click(copyAudio);
    EXPECT_EQ(QApplication::clipboard()->text(), qText(ConversionTools::ffmpegInstall));
    EXPECT_EQ(copyAudio->text(), "Copied");
    EXPECT_EQ(copyPictures->text(), "Copy");

    click(copyPictures);
    EXPECT_EQ(QApplication::clipboard()->text(), qText(ConversionTools::pythonInstall));
    EXPECT_EQ(copyAudio->text(), "Copy") << "only the last command copied reads Copied";
    EXPECT_EQ(copyPictures->text(), "Copied");
    EXPECT_TRUE(QTest::qWaitFor([&] { return copyPictures->text() == "Copy"; }, 3000))
        << "the label goes back after a moment";
}

TEST_F(ConversionHelpSheetTest, RowsFollowTheToolsAndRecheck) {
    // python3 without numpy and Pillow: the module check fails.
    test::writeScript(m_dir / "bin/python3", "exit 1");
    auto model = libraryModel();
    ConversionHelpSheet sheet(*model, model->tools(), false);
    sheet.show();
    EXPECT_EQ(sheet.disksRow()->detail(),
              "Ready. .2mg / .po / .hdv share as-is, and so do ProDOS disks in .dsk / .do "
              "files.");
    EXPECT_FALSE(sheet.picturesRow()->ready());
    EXPECT_EQ(sheet.picturesRow()->detail(),
              "python3 is there. Still need numpy and Pillow (Copy the line).");
    EXPECT_EQ(offered(sheet.picturesRow()), qText(ConversionTools::pythonInstall));
    EXPECT_TRUE(sheet.bothBar()->isVisible()) << "both converters missing: the one-line install";

    // The user installs both, then presses Recheck.
    test::writeScript(m_dir / "bin/ffmpeg", "exit 1");
    test::writeScript(m_dir / "bin/python3", "exit 0");
    click(sheet.recheckButton());
    EXPECT_EQ(sheet.recheckButton()->text(), "Checking...") << "the tools are looked for apart";
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.recheckButton()->text() == "Recheck"; }, 5000));
    EXPECT_TRUE(sheet.audioRow()->ready());
    EXPECT_EQ(sheet.audioRow()->detail(),
              "Found at " + QString::fromStdString((m_dir / "bin/ffmpeg").string()) +
                  ". MP3 / WAV / FLAC convert to PCM.");
    EXPECT_TRUE(sheet.picturesRow()->ready());
    for (const ToolRow* row : {sheet.audioRow(), sheet.picturesRow()}) {
        EXPECT_EQ(offered(row), "") << row->title().toStdString() << " offers no command";
    }
    EXPECT_FALSE(sheet.bothBar()->isVisible());
    EXPECT_TRUE(showsText(sheet, "Both converters ready."));

    click(sheet.closeButton());
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(m_prefs.boolean(ToolsModel::conversionHelpDismissedKey), true)
        << "Done is remembered, so the help does not open by itself again";
}

} // namespace
} // namespace vorn
