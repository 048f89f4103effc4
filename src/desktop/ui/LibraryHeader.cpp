#include "LibraryHeader.h"

#include "Paint.h"
#include "model/LibraryModel.h"
#include "model/Look.h"
#include "model/QtText.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QToolTip>

namespace vorn {
namespace {

constexpr int kGrip = 9; // each side of an edge

} // namespace

LibraryHeader::LibraryHeader(LibraryModel& library, Look& look, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), m_library(library), m_look(look) {
    setSectionsClickable(true);
    setSectionResizeMode(QHeaderView::Interactive);
    setStretchLastSection(false);
    setHighlightSections(false);
    setMinimumSectionSize(24);
    setMouseTracking(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &QHeaderView::sectionClicked, this,
            [this](int logical) { m_library.setSort(columnSortKey(TableColumn(logical))); });
    connect(this, &QHeaderView::sectionHandleDoubleClicked, this,
            [this](int logical) { m_library.fitColumn(TableColumn(logical)); });
    connect(this, &QHeaderView::sectionResized, this, &LibraryHeader::resized);
    connect(&library, &LibraryModel::tableChanged, viewport(), qOverload<>(&QWidget::update));
}

QSize LibraryHeader::sizeHint() const {
    return {QHeaderView::sizeHint().width(), 24};
}

void LibraryHeader::applyColumns() {
    m_applying = true;
    for (TableColumn column : allColumns) {
        resizeSection(int(column), int(std::lround(m_library.table().cols().width(column))));
    }
    setSectionHidden(int(TableColumn::folder), m_library.folders().empty());
    m_applying = false;
}

void LibraryHeader::resized(int logicalIndex, int, int newSize) {
    if (!m_applying) {
        m_library.setColumnWidth(TableColumn(logicalIndex), newSize);
    }
}

void LibraryHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QPainter& p = *painter;
    Paint::Saver saver(p);
    const Theme& theme = m_look.theme();
    const auto column = TableColumn(logicalIndex);
    p.fillRect(rect, theme.panel);
    p.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1),
               theme.isPhosphor ? theme.panelStroke : QColor(Qt::black));
    const bool sorted = m_library.table().sortKey() == columnSortKey(column);
    QString title = qText(m_library.table().headerTitle(column));
    if (sorted) {
        title += m_library.table().sortAscending() ? QString::fromUtf8(" \u25B4")
                                                   : QString::fromUtf8(" \u25BE");
    }
    p.setFont(theme.font(11, true));
    p.setPen(sorted ? theme.accent : theme.dim);
    const QRect area = rect.adjusted(6, 0, -4, 0);
    p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
               p.fontMetrics().elidedText(title, Qt::ElideRight, area.width()));
    // The column's handle: a short rule at the trailing edge, bright under the pointer.
    const bool hot = logicalIndex == m_hot;
    p.fillRect(QRect(rect.right() - (hot ? 1 : 0), rect.top() + 5, hot ? 2 : 1, rect.height() - 10),
               hot ? theme.accent : theme.faint);
}

int LibraryHeader::handleAt(int x) const {
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical)) {
            continue;
        }
        const int edge = sectionViewportPosition(logical) + sectionSize(logical);
        if (std::abs(x - edge) < kGrip) {
            return logical;
        }
    }
    return -1;
}

void LibraryHeader::mouseMoveEvent(QMouseEvent* event) {
    const int hot = handleAt(int(event->position().x()));
    if (hot != m_hot) {
        m_hot = hot;
        viewport()->update();
    }
    QHeaderView::mouseMoveEvent(event);
}

void LibraryHeader::leaveEvent(QEvent* event) {
    m_hot = -1;
    viewport()->update();
    QHeaderView::leaveEvent(event);
}

bool LibraryHeader::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (handleAt(help->pos().x()) >= 0) {
            QToolTip::showText(help->globalPos(), "Drag to resize. Double-click to fit.", this);
        } else if (const int logical = logicalIndexAt(help->pos()); logical >= 0) {
            QToolTip::showText(
                help->globalPos(),
                "Sort by " + qText(m_library.table().headerTitle(TableColumn(logical))), this);
        }
        return true;
    }
    return QHeaderView::viewportEvent(event);
}

void LibraryHeader::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction("Fit All Columns", this, [this] { m_library.fitAllColumns(); });
    menu.exec(event->globalPos());
}

} // namespace vorn
