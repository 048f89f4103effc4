#include "ToolRow.h"

#include "CommandBar.h"
#include "model/ShareModel.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vorn {

ToolRow::ToolRow(ShareModel& model, const QString& title, QWidget* parent)
    : QWidget(parent), m_title(new ThemedLabel(model.look(), 12, Tone::text, true, this)),
      m_status(new ThemedLabel(model.look(), 11, Tone::accent, true, this)),
      m_detail(new ThemedLabel(model.look(), 11, Tone::dim, false, this)),
      m_bar(new CommandBar(model, this)) {
    setAccessibleName(title);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* head = new QHBoxLayout;
    head->setSpacing(10);
    m_title->setShownText(title);
    head->addWidget(m_title);
    m_status->setUpperInPhosphor(true);
    head->addWidget(m_status);
    head->addStretch(1);
    column->addLayout(head);
    m_detail->setWordWrap(true);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_detail);
    column->addWidget(m_bar);
}

void ToolRow::showState(bool ready, const QString& detail, const std::optional<QString>& command) {
    m_ready = ready;
    m_status->setShownText(ready ? "Ready" : "Need");
    m_status->setTone(ready ? Tone::accent : Tone::warn);
    m_detail->setShownText(detail);
    m_detail->setVisible(!detail.isEmpty());
    m_bar->setVisible(command.has_value());
    if (command) {
        m_bar->setCommand(*command);
    }
    // The sheet's layout learns of the new height even while the sheet is not shown.
    updateGeometry();
}

QString ToolRow::title() const {
    return m_title->shownText();
}

QString ToolRow::detail() const {
    return m_detail->shownText();
}

} // namespace vorn
