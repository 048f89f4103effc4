#include "CategoriesSheet.h"

#include "CategoryRow.h"
#include "LabelField.h"
#include "library/HubConfig.h"
#include "model/QtText.h"
#include "model/ShareModel.h"
#include "ui/A2Button.h"
#include "ui/A2Toggle.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace vorn {
namespace {

constexpr int kMaxCategories = int(HubConfig::maxCategories);
// Beyond this many rows the list scrolls, so that the sheet fits on a screen.
constexpr int kRowsShown = 14;
constexpr int kAddListHeight = 220;

} // namespace

CategoriesSheet::CategoriesSheet(ShareModel& model, LibraryModel& library, bool snapshotMode,
                                 QWidget* parent)
    : Sheet(model, snapshotMode, "Apple II Categories", "Done", parent), m_library(library),
      m_noFolders(text(11, Tone::dim,
                       "No subfolders in the library yet. Make some folders and they show up "
                       "here.",
                       true)),
      m_noCategories(
          text(11, Tone::dim, "No categories. The Apple II shows the plain A-Z list.", true)),
      m_overflow(text(11, Tone::warn, QString(), true)),
      m_reset(new A2Button(model.look(), "Reset to Defaults", this)) {
    setLeastSize(560, 0);
    setMaximumWidth(680);
    body()->addWidget(intro());
    body()->addWidget(m_noFolders);
    body()->addWidget(m_noCategories);
    body()->addLayout(table());
    body()->addWidget(m_overflow);
    body()->addLayout(addPart());
    body()->addLayout(prefixPart());
    m_reset->setToolTip("Every top-level folder, A-Z, plain names");
    connect(m_reset, &QPushButton::clicked, this,
            [this] { m_library.setHubOverride({}); });
    body()->addWidget(m_reset, 0, Qt::AlignLeft);
    body()->addStretch(1);
    connect(&library, &LibraryModel::hubChanged, this, &CategoriesSheet::refresh);
    connect(&library, &LibraryModel::contentsChanged, this, &CategoriesSheet::refresh);
    connect(&model, &ShareModel::sheetsChanged, this,
            [this] { followFlag(this->model().showCategories()); });
    refresh();
    resize(600, sizeHint().height());
    fitHeight();
}

void CategoriesSheet::closeByUser() {
    model().setShowCategories(false);
}

QWidget* CategoriesSheet::intro() {
    const QString columns = QString::number(HubConfig::labelMax);
    return text(11, Tone::dim,
                "On the Apple II, Browse > Your source opens on these categories, one row each, "
                "then All A-Z and Find. A category lists everything in that folder and below, "
                "flattened A-Z. Out of the box every top-level folder is a category. In the "
                "sidebar, click a folder's ][ chip to take it off, or hover a folder and click "
                "the outline to put it on. Here: the label is what the card draws (" +
                    columns + " columns), the arrows set the order. The card shows one screen, " +
                    QString::number(kMaxCategories) + " rows.",
                true);
}

// The header row and the rows below it, which scroll beyond kRowsShown.
QLayout* CategoriesSheet::table() {
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    m_header = new QWidget(this);
    auto* header = new QHBoxLayout(m_header);
    header->setContentsMargins(4, 0, 4, 0);
    header->setSpacing(8);
    // A spacer takes no spacing after it: the check column and the gap.
    header->addSpacing(CategoryRow::checkWidth);
    const auto heading = [this](const QString& title) {
        ThemedLabel* label = text(11, Tone::dim, title, false, true);
        label->setUpperInPhosphor(true);
        return label;
    };
    header->addWidget(heading("Folder"), 1);
    ThemedLabel* label = heading("Label on the Apple II");
    label->setFixedWidth(CategoryRow::labelWidth);
    header->addWidget(label);
    // The count column has no heading: its numbers speak for themselves.
    header->addSpacing(CategoryRow::countWidth + 8 + CategoryRow::arrowsWidth);
    column->addWidget(m_header);

    m_rowsArea = new QScrollArea(this);
    m_rowsArea->setFrameShape(QFrame::NoFrame);
    m_rowsArea->setWidgetResizable(true);
    m_rowsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rowsBox = new QWidget(m_rowsArea);
    auto* rows = new QVBoxLayout(m_rowsBox);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addStretch(1);
    m_rowsArea->setWidget(m_rowsBox);
    column->addWidget(m_rowsArea);
    return column;
}

QLayout* CategoriesSheet::addPart() {
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    m_add = new A2Button(model().look(), "Add Folder...", this);
    m_add->setToolTip("Put another folder on the Apple II");
    connect(m_add, &QPushButton::clicked, this, [this] { setAddOpen(m_addList->isHidden()); });
    column->addWidget(m_add, 0, Qt::AlignLeft);
    m_addList = new QListWidget(this);
    m_addList->setAccessibleName("Folders to add");
    m_addList->hide();
    const auto restyle = [this] { m_addList->setFont(model().theme().font(11)); };
    connect(&model().look(), &Look::changed, m_addList, restyle);
    restyle();
    const auto choose = [this](QListWidgetItem* item) {
        if (!m_addList->isHidden() && item) {
            setAddOpen(false);
            m_library.toggleCategory(item->text().toStdString());
        }
    };
    connect(m_addList, &QListWidget::itemClicked, this, choose);
    connect(m_addList, &QListWidget::itemActivated, this, choose);
    column->addWidget(m_addList);
    return column;
}

QLayout* CategoriesSheet::prefixPart() {
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_prefix = new A2Toggle(model().look(), "Prefix subfolder in names", this);
    connect(m_prefix, &QAbstractButton::clicked, this,
            [this](bool on) { m_library.setPrefixSubfolder(on); });
    column->addWidget(m_prefix, 0, Qt::AlignLeft);
    ThemedLabel* example = text(11, Tone::dim,
                                "Utilities/Project 17/Disk 1 lists under Utilities as \"Project "
                                "17: Disk 1\" instead of \"Disk 1\"",
                                true);
    column->addWidget(example);
    return column;
}

void CategoriesSheet::refresh() {
    const HubConfig hub = m_library.hub();
    m_noFolders->setVisible(m_library.folders().empty());
    m_noCategories->setVisible(!m_library.folders().empty() && hub.cats.empty());
    m_header->setVisible(!hub.cats.empty());
    const int n = int(hub.cats.size());
    m_overflow->setVisible(n > kMaxCategories);
    m_overflow->setShownText(QString::number(n) + " categories. The card shows the first " +
                             QString::number(kMaxCategories) + "; the last " +
                             QString::number(n - kMaxCategories) +
                             " never reach the Apple II. Turn some off or move the ones you want "
                             "up.");
    m_prefix->setChecked(hub.prefixSubfolder);
    showRows();
    showCandidates();
    fitHeight();
}

// Rows are kept and refilled rather than rebuilt, so that an edit or a move keeps the
// keyboard focus where the user is.
void CategoriesSheet::showRows() {
    const HubConfig hub = m_library.hub();
    auto* layout = static_cast<QVBoxLayout*>(m_rowsBox->layout());
    while (m_rows.size() > hub.cats.size()) {
        delete m_rows.back();
        m_rows.pop_back();
    }
    while (m_rows.size() < hub.cats.size()) {
        auto* row = new CategoryRow(model().look(), snapshotMode(), m_rowsBox);
        const int index = int(m_rows.size());
        connect(row, &CategoryRow::takeOff, this, [this](const QString& path) {
            m_library.toggleCategory(path.toStdString());
        });
        connect(row, &CategoryRow::labelCommitted, this,
                [this](const QString& path, const QString& label) {
                    m_library.setCategoryLabel(path.toStdString(), label.toStdString());
                });
        connect(row, &CategoryRow::move, this, [this, index](int step) { moveRow(index, step); });
        layout->insertWidget(index, row);
        m_rows.push_back(row);
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const HubCategory& category = hub.cats[i];
        m_rows[i]->showCategory(category,
                                m_library.hubCount(category.path, KindFilter::all), int(i),
                                int(m_rows.size()));
    }
    m_rowsArea->setVisible(!m_rows.empty());
    fitRowsArea();
    orderTabs();
}

// Rows made after the parts below them would otherwise come last in the tab order.
void CategoriesSheet::orderTabs() {
    QWidget* previous = closeButton();
    const auto next = [&](QWidget* widget) {
        if (widget) {
            setTabOrder(previous, widget);
            previous = widget;
        }
    };
    for (CategoryRow* row : m_rows) {
        next(row->check());
        next(row->field());
        next(row->upButton());
        next(row->downButton());
    }
    for (QWidget* part : {static_cast<QWidget*>(m_add), static_cast<QWidget*>(m_addList),
                          static_cast<QWidget*>(m_prefix), static_cast<QWidget*>(m_reset)}) {
        next(part);
    }
}

void CategoriesSheet::fitRowsArea() {
    if (m_rows.empty()) {
        return;
    }
    const int rowHeight = m_rows.front()->sizeHint().height();
    const int all = rowHeight * int(m_rows.size());
    m_rowsArea->setFixedHeight(snapshotMode() ? all : std::min(all, rowHeight * kRowsShown));
}

void CategoriesSheet::showCandidates() {
    const std::vector<std::string> candidates = m_library.hubCandidates();
    m_addList->clear();
    for (const std::string& folder : candidates) {
        m_addList->addItem(qText(folder));
    }
    const bool any = !candidates.empty();
    m_add->setText(any ? "Add Folder..." : "Every folder is already a category");
    m_add->setEnabled(any);
    if (!any) {
        setAddOpen(false);
    }
    const int rows = m_addList->count() * std::max(1, m_addList->sizeHintForRow(0));
    m_addList->setFixedHeight(std::min(kAddListHeight, rows + 2 * m_addList->frameWidth()));
}

void CategoriesSheet::setAddOpen(bool open) {
    m_addList->setVisible(open && !snapshotMode());
    if (open) {
        m_addList->setFocus();
    }
    fitHeight();
}

void CategoriesSheet::moveRow(int index, int step) {
    const std::size_t from = std::size_t(index);
    m_library.moveCategories({from}, step < 0 ? from - 1 : from + 2);
    // The focus follows the folder that moved.
    const int to = index + step;
    if (to >= 0 && to < int(m_rows.size())) {
        A2Button* same = step < 0 ? m_rows[to]->upButton() : m_rows[to]->downButton();
        A2Button* other = step < 0 ? m_rows[to]->downButton() : m_rows[to]->upButton();
        (same->isEnabled() ? same : other)->setFocus();
    }
}

} // namespace vorn
