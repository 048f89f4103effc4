#include "PicturePreviewSheet.h"

#include "PictureArea.h"
#include "model/ShareModel.h"
#include "pictures/ShrPreview.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QImageReader>
#include <QVBoxLayout>

namespace vorn {
namespace {

QString fileName(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

// The decoded screen as a picture of 320 x 200 logical pixels.
QImage shrImage(const RgbaImage& screen) {
    QImage image(screen.pixels.data(), screen.width, screen.height, screen.width * 4,
                 QImage::Format_RGBA8888);
    return image.copy(); // the buffer goes with `screen`
}

} // namespace

PicturePreviewSheet::PicturePreviewSheet(ShareModel& model, bool snapshotMode, QWidget* parent)
    : Sheet(model, snapshotMode, "Picture preview", "Close", parent),
      m_originalCaption(text(10, Tone::dim, QString())),
      m_original(new PictureArea(model.look(), this)), m_shr(new PictureArea(model.look(), this)) {
    setLeastSize(720, 460);
    auto* panes = new QHBoxLayout;
    panes->setSpacing(12);
    panes->addWidget(pane("Original", m_originalCaption, m_original));
    panes->addWidget(pane("SHR  320 x 200", text(10, Tone::dim, "what the CDA paints"), m_shr));
    body()->addLayout(panes);
    body()->addWidget(text(
        11, Tone::dim, "Knobs (sat / contrast / dither) come next. This pane is the CDA check."));
    body()->addStretch(1);
    connect(&model, &ShareModel::sheetsChanged, this, &PicturePreviewSheet::follow);
    follow();
}

void PicturePreviewSheet::closeByUser() {
    model().setPreviewPic(std::nullopt);
}

QWidget* PicturePreviewSheet::pane(const QString& title, ThemedLabel* caption, PictureArea* area) {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    ThemedLabel* heading = text(12, Tone::text, title, false, true);
    heading->setUpperInPhosphor(true);
    for (QWidget* part : {static_cast<QWidget*>(heading), static_cast<QWidget*>(caption)}) {
        part->setParent(box);
        column->addWidget(part);
    }
    area->setParent(box);
    area->setAccessibleDescription(title);
    column->addSpacing(3);
    column->addWidget(area);
    return box;
}

// Shows the model's picture; the sheet closes when the model has none.
void PicturePreviewSheet::follow() {
    const std::optional<StillPic>& picture = model().previewPic();
    if (!picture) {
        followFlag(false);
        return;
    }
    if (picture != m_shown) {
        showPicture(*picture);
    }
}

void PicturePreviewSheet::showPicture(const StillPic& picture) {
    m_shown = picture;
    setTitle(QString::fromStdString(picture.displayName));
    showOriginal(picture);
    showShr(picture);
}

void PicturePreviewSheet::showOriginal(const StillPic& picture) {
    const std::optional<std::filesystem::path> original = picture.originalPath();
    if (!original) {
        // An .shr file shared on its own.
        m_originalCaption->setShownText("-");
        m_original->showMessage("no source scan in this folder",
                                "Drop the jpeg next to the .shr to compare.");
        return;
    }
    m_originalCaption->setShownText(fileName(*original));
    QImageReader reader(QString::fromStdString(original->string()));
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        m_original->showFailure("Could not decode " + fileName(*original));
    } else {
        m_original->showImage(image, true);
    }
}

void PicturePreviewSheet::showShr(const StillPic& picture) {
    const std::optional<RgbaImage> screen = ShrPreview::decodeFile(picture.shrPath);
    if (screen) {
        m_shr->showImage(shrImage(*screen), false);
    } else {
        // Named as the library knows it: a converted picture's file has a cache name.
        m_shr->showFailure("Could not decode " + fileName(std::filesystem::path(picture.fileName)));
    }
}

} // namespace vorn
