#include "EmptyState.h"

#include "ThemedLabel.h"
#include "model/ShareModel.h"

#include <QVBoxLayout>

namespace vorn {

EmptyState::EmptyState(ShareModel& model, QWidget* parent)
    : QWidget(parent), m_model(model),
      m_headline(new ThemedLabel(model.look(), 13, Tone::text, true, this)) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(6);
    column->addStretch(1);
    column->addWidget(m_headline, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    for (const char* line : {".po  .hdv  .2mg   (ProDOS-order block images, up to 32 MB)",
                             ".mp3  .m4a  .wav  .aif  .flac  .ogg  .pcm   (audio, served as "
                             "u8/21973/mono PCM)",
                             ".jpg  .png  .gif  .shr   (pictures, served as 320x200 SHR)"}) {
        auto* label = new ThemedLabel(model.look(), 11, Tone::dim, false, this);
        label->setShownText(line);
        column->addWidget(label, 0, Qt::AlignHCenter);
    }
    column->addStretch(2);
    connect(&model, &ShareModel::folderChanged, this, &EmptyState::showReason);
    showReason();
}

QString EmptyState::headline() const {
    return m_headline->text();
}

void EmptyState::showReason() {
    m_headline->setShownText(m_model.folderPath().empty()
                                 ? "Choose your library folder (subfolders included)"
                                 : "No shareable files in this folder or below it");
}

} // namespace vorn
