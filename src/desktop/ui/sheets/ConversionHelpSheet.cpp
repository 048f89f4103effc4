#include "ConversionHelpSheet.h"

#include "CommandBar.h"
#include "ToolRow.h"
#include "model/QtText.h"
#include "model/ShareModel.h"
#include "ui/A2Button.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vorn {
ConversionHelpSheet::ConversionHelpSheet(ShareModel& model, ToolsModel& tools, bool snapshotMode,
                                         QWidget* parent)
    : Sheet(model, snapshotMode, "Conversion tools", "Done", parent), m_tools(tools),
      m_disks(new ToolRow(model, "Disks", this)),
      m_package(new ToolRow(model, "Package manager", this)),
      m_audio(new ToolRow(model, "Audio  ffmpeg", this)),
      m_pictures(new ToolRow(model, "Pictures  python3", this)),
      m_recheck(new A2Button(model.look(), "Recheck", this)),
      m_allReady(text(11, Tone::accent, "Both converters ready.", false, true)) {
    setLeastSize(640, 0);
    setMaximumWidth(720);
    body()->addWidget(text(11, Tone::dim,
                           "Disks need nothing extra. Audio (MP3 and the rest) needs ffmpeg. "
                           "Pictures (JPEG and the rest) need python3 with numpy and Pillow. Copy "
                           "a command, paste it in Terminal, then Recheck. You do not have to "
                           "quit this app.",
                           true));
    for (ToolRow* row : {m_disks, m_package, m_audio, m_pictures}) {
        body()->addWidget(row);
    }
    body()->addWidget(bothBlock());
    m_recheck->setToolTip("Look again for ffmpeg and python3. No quit needed.");
    connect(m_recheck, &QPushButton::clicked, this, [this] { m_tools.recheck(); });
    auto* recheck = new QHBoxLayout;
    recheck->setSpacing(12);
    recheck->addWidget(m_recheck);
    recheck->addWidget(m_allReady);
    recheck->addStretch(1);
    body()->addLayout(recheck);
    body()->addStretch(1);
    m_disks->showState(
        true, "Ready. .2mg / .po / .hdv share as-is, and so do ProDOS disks in .dsk / .do files.",
        std::nullopt);
    connect(&tools, &ToolsModel::conversionChanged, this, &ConversionHelpSheet::refresh);
    // The tools are looked for on the model's worker; the button says so meanwhile.
    connect(&model, &ShareModel::workChanged, this, [this] {
        m_recheck->setText(this->model().work().busy(ModelWorker::Job::tools) ? "Checking..."
                                                                              : "Recheck");
    });
    connect(&tools, &ToolsModel::helpChanged, this, [this] { followFlag(m_tools.showHelp()); });
    refresh();
    resize(680, sizeHint().height());
    fitHeight();
}

void ConversionHelpSheet::closeByUser() {
    m_tools.dismissHelp();
}

// One command installs both converters; offered while both are missing.
QWidget* ConversionHelpSheet::bothBlock() {
    m_bothBlock = new QWidget(this);
    auto* column = new QVBoxLayout(m_bothBlock);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* title = new ThemedLabel(model().look(), 12, Tone::text, true, m_bothBlock);
    title->setShownText("Both conversions, one line");
    column->addWidget(title);
    m_both = new CommandBar(model(), m_bothBlock);
    m_both->setCommand(qText(ConversionTools::allInstall));
    column->addWidget(m_both);
    return m_bothBlock;
}

void ConversionHelpSheet::refresh() {
    const ConversionTools::Status& tools = m_tools.conversion();
    const auto found = [](const std::optional<std::string>& path) {
        return "Found at " + QString::fromStdString(path.value_or(""));
    };
    if (tools.packageManagerPath) {
        m_package->showState(true, found(tools.packageManagerPath), std::nullopt);
    } else {
        m_package->showState(false,
                             "Install this first. Then open a new Terminal so apt-get is on your "
                             "PATH.",
                             qText(ConversionTools::packageManagerInstall));
    }
    if (tools.ffmpegPath) {
        m_audio->showState(true, found(tools.ffmpegPath) + ". MP3 / WAV / FLAC convert to PCM.",
                           std::nullopt);
    } else {
        m_audio->showState(false, "Without this, only .pcm audio is shared.",
                           qText(ConversionTools::ffmpegInstall));
    }
    if (tools.picturesReady) {
        m_pictures->showState(true, found(tools.pythonPath) + ". JPEG / PNG convert to SHR.",
                              std::nullopt);
    } else {
        m_pictures->showState(false,
                              tools.pythonPath
                                  ? "python3 is there. Still need numpy and Pillow (Copy the line)."
                                  : "Without this, only .shr pictures are shared.",
                              qText(ConversionTools::pythonInstall));
    }
    m_bothBlock->setVisible(!tools.ffmpegReady() && !tools.picturesReady);
    m_allReady->setVisible(tools.ffmpegReady() && tools.picturesReady);
    fitHeight();
}

} // namespace vorn
