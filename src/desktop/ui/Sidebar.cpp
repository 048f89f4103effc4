#include "Sidebar.h"

#include "A2Button.h"
#include "FolderTreeView.h"
#include "KindRow.h"
#include "LookStyle.h"
#include "ThemedLabel.h"
#include "model/ShareModel.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vorn {
namespace {

A2Button* smallButton(Look& look, const QString& text, const QString& help, const QString& name,
                      QWidget* parent) {
    auto* button = new A2Button(look, text, parent);
    button->setInset(5);
    button->setToolTip(help);
    button->setAccessibleName(name);
    return button;
}

} // namespace

Sidebar::Sidebar(ShareModel& model, LibraryModel& library, Look& look, QWidget* parent)
    : Panel(look, parent), m_model(model), m_library(library),
      m_categories(smallButton(look, "][",
                               "Apple II Categories: which folders the card lists under Your "
                               "source",
                               "Apple II Categories", this)),
      m_expand(smallButton(look, "+", "Expand all folders", "Expand all folders", this)),
      m_collapse(smallButton(look, "-", "Collapse all folders", "Collapse all folders", this)),
      m_scroll(new QScrollArea(this)), m_tree(new FolderTreeView(model, library, look)) {
    setTitle("Library");
    setInnerMargins(4, 6, 6, 8);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(2);
    for (KindFilter kind :
         {KindFilter::all, KindFilter::disks, KindFilter::audio, KindFilter::pictures}) {
        m_kinds[std::size_t(kind)] = new KindRow(library, look, kind, this);
        column->addWidget(m_kinds[std::size_t(kind)]);
    }
    column->addSpacing(8);
    column->addLayout(foldersHeader());
    m_scroll->setWidget(m_tree);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    column->addWidget(m_scroll, 1);
    connect(m_categories, &QPushButton::clicked, this, [this] { m_model.setShowCategories(true); });
    connect(m_expand, &QPushButton::clicked, this, [this] { m_library.setCollapsed(false); });
    connect(m_collapse, &QPushButton::clicked, this, [this] { m_library.setCollapsed(true); });
    connect(&look, &Look::changed, this, &Sidebar::restyle);
    restyle();
}

QLayout* Sidebar::foldersHeader() {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 0, 2, 2);
    row->setSpacing(4);
    auto* title = new ThemedLabel(look(), 11, Tone::dim, true, this);
    title->setUpperInPhosphor(true);
    title->setShownText("Folders");
    row->addWidget(title, 1);
    row->addWidget(m_categories);
    row->addWidget(m_expand);
    row->addWidget(m_collapse);
    return row;
}

void Sidebar::restyle() {
    QPalette p = LookStyle::palette(look().theme());
    p.setColor(QPalette::Window, look().theme().panel);
    m_scroll->setPalette(p);
    m_scroll->viewport()->setPalette(p);
}

} // namespace vorn
