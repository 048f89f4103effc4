#include "TitleRow.h"

#include "A2Button.h"
#include "LookSwitch.h"
#include "PromptCursor.h"
#include "RainbowStripes.h"
#include "ThemedLabel.h"
#include "model/ShareModel.h"

#include <QHBoxLayout>

namespace vorn {
namespace {

ThemedLabel* smallText(ShareModel& model, const QString& text, const QString& help,
                       QWidget* parent) {
    auto* label = new ThemedLabel(model.look(), 11, Tone::title, false, parent);
    label->setOpacity(0.7);
    label->setShownText(text);
    label->setToolTip(help);
    return label;
}

} // namespace

TitleRow::TitleRow(ShareModel& model, const AppInfo& info, QWidget* parent)
    : QWidget(parent), m_model(model), m_prompt(new PromptCursor(model.look(), 20, this)),
      m_rainbow(new RainbowStripes(16, this)),
      m_tools(new A2Button(model.look(), "Conversion tools...", this)),
      m_look(new LookSwitch(model, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(m_prompt);
    row->addWidget(m_rainbow);
    auto* title = new ThemedLabel(model.look(), 20, Tone::title, true, this);
    title->setShownText("Vorn Image and Audio Manager");
    row->addWidget(title);
    row->addWidget(
        smallText(model, info.version, "Version and build number (commits in the tree)", this), 0,
        Qt::AlignBottom);
    if (!info.homepage.isEmpty()) {
        row->addWidget(smallText(model, info.homepage, "", this), 0, Qt::AlignBottom);
    }
    row->addStretch(1);
    m_tools->setToolTip("ffmpeg for audio, python3 + numpy + Pillow for pictures");
    connect(m_tools, &QPushButton::clicked, this, [this] { m_model.tools().setShowHelp(true); });
    row->addWidget(m_tools);
    row->addWidget(m_look);
    connect(&model.look(), &Look::changed, this, &TitleRow::showLook);
    showLook();
}

void TitleRow::showLook() {
    const bool phosphor = m_model.theme().isPhosphor;
    m_prompt->setVisible(phosphor);
    m_rainbow->setVisible(!phosphor);
}

} // namespace vorn
