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
    : Panel(model.look(), parent), m_model(model),
      m_counts(new CountsLine(model.library(), model.tools(), model.look(), this)),
      m_stack(new QStackedWidget(this)),
      m_view(new LibraryView(model, model.library(), model.versions(), model.look(), m_stack)),
      m_empty(new EmptyState(model, m_stack)) {
    setInnerMargins(8, 6, 10, 10);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(6);
    column->addWidget(m_counts);
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_empty);
    column->addWidget(m_stack, 1);
    for (auto signal : {&LibraryModel::contentsChanged, &LibraryModel::tableChanged}) {
        connect(&model.library(), signal, this, &LibraryPane::showContents);
    }
    connect(&model, &ShareModel::folderChanged, this, &LibraryPane::showContents);
    showContents();
}

bool LibraryPane::showsTable() const {
    return m_stack->currentWidget() == m_view;
}

void LibraryPane::showContents() {
    const LibraryTable& table = m_model.library().table();
    const LibraryContents& c = m_model.library().contents();
    setTitle(QString::fromStdString(
        WindowTexts::tableTitle(table.kindFilter(), table.selectedFolder())));
    const bool nothing =
        m_model.folderPath().empty() ||
        (table.libraryCount() == 0 && c.pendingAudio().empty() && c.pendingPics().empty() &&
         c.audio().failed.empty() && c.stills().failed.empty());
    m_stack->setCurrentWidget(nothing ? static_cast<QWidget*>(m_empty) : m_view);
    m_counts->setVisible(!m_model.folderPath().empty());
}

} // namespace vorn
