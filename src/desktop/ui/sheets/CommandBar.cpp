#include "CommandBar.h"

#include "model/ShareModel.h"
#include "ui/A2Button.h"
#include "ui/ThemedLabel.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPainter>

namespace vorn {

CommandBar::CommandBar(ShareModel& model, QWidget* parent)
    : QWidget(parent), m_model(model),
      m_text(new ThemedLabel(model.look(), 10, Tone::text, false, this)),
      m_copy(new A2Button(model.look(), "Copy", this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 4, 4);
    row->setSpacing(8);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setWordWrap(true);
    m_text->setAccessibleName("Command");
    row->addWidget(m_text, 1);
    row->addWidget(m_copy, 0, Qt::AlignVCenter);
    connect(m_copy, &QPushButton::clicked, this,
            [this] { m_model.copyCommand(m_command.toStdString()); });
    connect(&model, &ShareModel::copiedChanged, this, &CommandBar::showCopied);
    connect(&model.look(), &Look::changed, this, &CommandBar::restyle);
    restyle();
}

void CommandBar::setCommand(const QString& command) {
    m_command = command;
    m_text->setShownText(command);
    m_copy->setAccessibleDescription("Copy " + command);
    showCopied();
}

void CommandBar::showCopied() {
    const bool copied = !m_command.isEmpty() && m_model.copiedCommand() == m_command.toStdString();
    m_copy->setText(copied ? "Copied" : "Copy");
    // Both texts fit the same button, so the bar does not jump as the label changes.
    const QFontMetrics metrics(m_model.theme().font(11, true));
    m_copy->setMinimumWidth(metrics.horizontalAdvance("Copied") + 30);
}

// The command in a small monospaced font in both looks: it is text to paste, not to read.
void CommandBar::restyle() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    m_text->setFont(font);
    showCopied();
    update();
}

void CommandBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_model.theme();
    p.fillRect(rect(), theme.isPhosphor ? theme.background : QColor(Qt::white));
    p.setPen(QPen(theme.isPhosphor ? theme.panelStroke : theme.faint, 1));
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace vorn
