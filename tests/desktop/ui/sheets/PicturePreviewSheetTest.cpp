// The picture preview of pictures the test paints: the SHR screen decoded and shown beside
// the original, and the texts for a missing original and an unreadable screen.

#include "ui/sheets/PicturePreviewSheet.h"

#include "SheetFixture.h"
#include "pictures/ShrPreview.h"
#include "ui/A2Button.h"
#include "ui/sheets/PictureArea.h"

#include <QImage>

namespace vorn {
namespace {

using PicturePreviewSheetTest = test::SheetFixture;

// An SHR screen whose top 100 lines are red (palette 0) and bottom 100 blue (palette 1),
// every pixel colour 1.
std::string redOverBlue() {
    std::string shr(ShrPreview::bytes, '\0');
    std::fill(shr.begin(), shr.begin() + 32000, '\x11');
    std::fill(shr.begin() + 32000 + 100, shr.begin() + 32200, '\x01');
    const auto entry = [&](int palette, int colour) { return 32200 + (palette * 16 + colour) * 2; };
    shr[entry(0, 1) + 1] = '\x0F'; // $0F00: red
    shr[entry(1, 1)] = '\x0F';     // $000F: blue
    return shr;
}

// The model's picture with this file name.
std::optional<StillPic> picture(const ShareModel& model, const std::string& fileName) {
    for (const StillPic& pic : model.library().contents().pictures()) {
        if (pic.fileName == fileName) {
            return pic;
        }
    }
    return std::nullopt;
}

TEST_F(PicturePreviewSheetTest, ShowsTheDecodedScreenBesideTheOriginal) {
    m_dir.write("lib/Art/Sunset.shr", redOverBlue());
    QImage original(64, 40, QImage::Format_RGB32);
    original.fill(Qt::green);
    ASSERT_TRUE(original.save(QString::fromStdString((m_dir / "lib/Art/Sunset.png").string())));
    auto model = libraryModel();
    const std::optional<StillPic> sunset = picture(*model, "Art/Sunset.shr");
    ASSERT_TRUE(sunset);
    model->setPreviewPic(sunset);
    PicturePreviewSheet sheet(*model, false);
    sheet.show();

    EXPECT_EQ(sheet.originalArea()->image().size(), QSize(64, 40)) << "the png beside the .shr";
    const QImage& screen = sheet.shrArea()->image();
    ASSERT_EQ(screen.size(), QSize(320, 200));
    // What the user sees: the area painted with the screen, red above blue.
    const QImage shown = sheet.shrArea()->grab().toImage();
    const QPoint centre(shown.width() / 2, shown.height() / 2);
    EXPECT_EQ(QColor(shown.pixel(centre - QPoint(0, 50))), QColor(0xFF, 0, 0));
    EXPECT_EQ(QColor(shown.pixel(centre + QPoint(0, 50))), QColor(0, 0, 0xFF));
}

TEST_F(PicturePreviewSheetTest, TextsForNoSourceAndAnUnreadableScreen) {
    m_dir.write("lib/Art/Broken.shr", std::string(ShrPreview::bytes - 1, '\0'));
    auto model = libraryModel();
    model->setPreviewPic(picture(*model, "Art/Broken.shr"));
    ASSERT_TRUE(model->previewPic());
    PicturePreviewSheet sheet(*model, false);
    sheet.show();
    EXPECT_EQ(sheet.originalArea()->message(), "no source scan in this folder");
    EXPECT_TRUE(sheet.originalArea()->image().isNull());
    EXPECT_EQ(sheet.shrArea()->message(), "Could not decode Broken.shr")
        << "one byte short of a screen";
    for (const QLabel* label : sheet.shrArea()->findChildren<QLabel*>()) {
        if (label->isVisible()) {
            EXPECT_EQ(label->font().pixelSize(), 11) << label->text().toStdString();
            EXPECT_FALSE(label->font().bold()) << label->text().toStdString();
        }
    }

    click(sheet.closeButton());
    EXPECT_FALSE(model->previewPic());
    EXPECT_FALSE(sheet.isVisible());
}

} // namespace
} // namespace vorn
