#include "LibraryPane.h"

#include "CountsLine.h"
#include "EmptyState.h"
#include "LibraryView.h"
#include "model/ShareModel.h"
#include "model/WindowTexts.h"

#include <QStackedWidget>
#include <QVBoxLayout>

namespace vorn {

LibraryPane::LibraryPane(ShareModel& model, QWidget* parent)
    : Panel(model, parent), m_counts(new CountsLine(model, this)),
      m_stack(new QStackedWidget(this)), m_view(new LibraryView(model, m_stack)),
      m_empty(new EmptyState(model, m_stack)) {
    setInnerMargins(8, 6, 10, 10);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(6);
    column->addWidget(m_counts);
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_empty);
    column->addWidget(m_stack, 1);
    for (auto signal :
         {&ShareModel::contentsChanged, &ShareModel::tableChanged, &ShareModel::folderChanged}) {
        connect(&model, signal, this, &LibraryPane::showContents);
    }
    showContents();
}

bool LibraryPane::showsTable() const {
    return m_stack->currentWidget() == m_view;
}

void LibraryPane::showContents() {
    const ShareModel& m = model();
    setTitle(QString::fromStdString(WindowTexts::tableTitle(m.kindFilter(), m.selectedFolder())));
    const bool nothing =
        m.folderPath().empty() ||
        (m.libraryCount() == 0 && m.pendingAudio().empty() && m.pendingPics().empty() &&
         m.contents().audio.failed.empty() && m.contents().stills.failed.empty());
    m_stack->setCurrentWidget(nothing ? static_cast<QWidget*>(m_empty) : m_view);
    m_counts->setVisible(!m.folderPath().empty());
}

} // namespace vorn
