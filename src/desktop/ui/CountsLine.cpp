#include "CountsLine.h"

#include "A2Button.h"
#include "FlowLayout.h"
#include "ThemedLabel.h"
#include "model/LibraryModel.h"
#include "model/Look.h"
#include "model/ToolsModel.h"
#include "model/WindowTexts.h"

#include <QHBoxLayout>

namespace vorn {

CountsLine::CountsLine(LibraryModel& library, ToolsModel& tools, Look& look, QWidget* parent)
    : QWidget(parent), m_library(library), m_tools(tools), m_look(look), m_parts(new QWidget(this)),
      m_rescan(new A2Button(look, "Rescan", this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    new FlowLayout(m_parts, 10, 2);
    row->addWidget(m_parts, 1);
    m_rescan->setToolTip("Scan the library folder again");
    connect(m_rescan, &QPushButton::clicked, this, [this] { m_library.rescan(); });
    row->addWidget(m_rescan, 0, Qt::AlignTop);
    for (auto signal : {&LibraryModel::contentsChanged, &LibraryModel::tableChanged}) {
        connect(&library, signal, this, &CountsLine::rebuild);
    }
    connect(&look, &Look::changed, this, &CountsLine::rebuild);
    rebuild();
}

QStringList CountsLine::texts() const {
    QStringList shown;
    for (const auto* label : m_parts->findChildren<ThemedLabel*>()) {
        shown << label->text();
    }
    return shown;
}

// The parts change in number and kind with every scan; the line is small, so it is made
// again rather than patched.
void CountsLine::rebuild() {
    QLayout* parts = m_parts->layout();
    while (QLayoutItem* item = parts->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    // New buttons would join the end of the window's tab order; they follow "Rescan".
    QWidget* before = m_rescan;
    for (const WindowTexts::CountsPart& part : WindowTexts::countsLine(m_library)) {
        auto* label =
            new ThemedLabel(m_look, 11, part.warn ? Tone::warn : Tone::dim, false, m_parts);
        label->setUpperInPhosphor(true);
        label->setShownText(QString::fromStdString(part.text));
        parts->addWidget(label);
        if (part.offersHelp) {
            auto* open = new A2Button(m_look, "Open Conversion tools", m_parts);
            open->setInset(8);
            connect(open, &QPushButton::clicked, this, [this] { m_tools.setShowHelp(true); });
            parts->addWidget(open);
            QWidget::setTabOrder(before, open);
            before = open;
        }
    }
}

} // namespace vorn
