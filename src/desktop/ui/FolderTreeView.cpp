#include "FolderTreeView.h"

#include "Paint.h"
#include "model/QtText.h"
#include "model/ShareModel.h"
#include "model/SidebarFit.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QToolTip>
#include <algorithm>

namespace vorn {
namespace {

constexpr double kTurnMs = 120;
constexpr int kBadgeWidth = 18;
// Below this a label would show little more than its quotation mark.
constexpr double kMinLabel = 28;

std::string keyOf(const std::optional<std::string>& path) {
    return path.value_or(std::string()); // no folder is named "", so it stands for the root
}

// Where the parts of one row are drawn.
struct RowLayout {
    QRectF disclosure, glyph, name, label, count, badge;
    QString nameText, labelText, countText;
};

} // namespace

FolderTreeView::FolderTreeView(ShareModel& model, LibraryModel& library, Look& look,
                               QWidget* parent)
    : QWidget(parent), m_model(model), m_library(library), m_look(look) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAccessibleName("Folders");
    m_turnTimer.setInterval(16);
    connect(&m_turnTimer, &QTimer::timeout, this, &FolderTreeView::stepTurns);
    for (auto signal : {&LibraryModel::treeChanged, &LibraryModel::contentsChanged,
                        &LibraryModel::hubChanged, &LibraryModel::tableChanged}) {
        connect(&library, signal, this, &FolderTreeView::refresh);
    }
    connect(&look, &Look::changed, this, &FolderTreeView::refresh);
    connect(&model, &ShareModel::folderChanged, this, &FolderTreeView::refresh);
    refresh();
}

QSize FolderTreeView::sizeHint() const {
    return {100, int(m_rows.size()) * rowHeight};
}

void FolderTreeView::refresh() {
    m_rows.assign(1, std::nullopt);
    for (const std::string& path : m_library.tree().visibleFolders()) {
        m_rows.emplace_back(path);
    }
    setMinimumHeight(int(m_rows.size()) * rowHeight);
    bool moving = false;
    for (int row = 0; row < int(m_rows.size()); ++row) {
        if (!hasDisclosure(row)) {
            continue;
        }
        const double target = isOpen(row) ? 1 : 0;
        auto [it, added] = m_turns.try_emplace(keyOf(m_rows[row]), Turn{target, target});
        it->second.target = target;
        moving = moving || it->second.now != target;
    }
    if (moving && !m_turnTimer.isActive()) {
        m_turnClock.start();
        m_turnTimer.start();
    }
    const int selected = selectedRow();
    setAccessibleDescription(selected >= 0 && m_rows[selected] ? qText(*m_rows[selected])
                                                               : QString("the whole library"));
    updateGeometry();
    update();
}

void FolderTreeView::stepTurns() {
    const double step = double(m_turnClock.restart()) / kTurnMs;
    bool moving = false;
    for (auto& [key, turn] : m_turns) {
        const double left = turn.target - turn.now;
        turn.now = std::abs(left) <= step ? turn.target : turn.now + (left > 0 ? step : -step);
        moving = moving || turn.now != turn.target;
    }
    if (!moving) {
        m_turnTimer.stop();
    }
    update();
}

std::optional<int> FolderTreeView::rowOf(const std::optional<std::string>& path) const {
    const auto it = std::find(m_rows.begin(), m_rows.end(), path);
    return it == m_rows.end() ? std::nullopt : std::optional(int(it - m_rows.begin()));
}

int FolderTreeView::depth(int row) const {
    const auto& path = m_rows[row];
    return path ? int(std::count(path->begin(), path->end(), '/')) + 1 : 0;
}

bool FolderTreeView::hasDisclosure(int row) const {
    const auto& path = m_rows[row];
    return path ? m_library.tree().hasChildren(*path) : !m_library.folders().empty();
}

bool FolderTreeView::isOpen(int row) const {
    const auto& path = m_rows[row];
    return path ? m_library.tree().collapsed().count(*path) == 0 : !m_library.tree().allCollapsed();
}

int FolderTreeView::selectedRow() const {
    return rowOf(m_library.table().selectedFolder()).value_or(-1);
}

namespace {

/// What a row's layout reads: the library's counts and labels, the look, and the name the
/// library's own row shows.
struct RowSource {
    const LibraryModel& library;
    const Theme& theme;
    std::string rootName;
};

RowLayout layoutRow(const RowSource& source, const std::optional<std::string>& path, int depth,
                    int row, int width, bool selected) {
    const Theme& theme = source.theme;
    RowLayout l;
    const double y = row * FolderTreeView::rowHeight, h = FolderTreeView::rowHeight;
    const double x0 = 8 + depth * SidebarFit::indent;
    l.disclosure = QRectF(x0, y + (h - 10) / 2, 10, 10);
    l.glyph = QRectF(x0 + 14, y + 3, 14, 14);
    if (path) {
        const QSizeF chip = Paint::inverseChipSize("][", theme);
        const double w = std::max<double>(kBadgeWidth, chip.width());
        l.badge = QRectF(width - 8 - w, y + (h - chip.height()) / 2, w, chip.height());
    }
    l.countText = QString::number(path ? source.library.table().count(*path)
                                       : source.library.table().libraryCount());
    const double countWidth = QFontMetricsF(theme.font(10)).horizontalAdvance(l.countText);
    const double countRight = width - 8 - kBadgeWidth - 4;
    l.count = QRectF(countRight - countWidth, y, countWidth, h);
    const std::string name = path ? path->substr(path->rfind('/') + 1) : source.rootName;
    l.nameText = theme.isPhosphor ? qText(name).toUpper() : qText(name);
    if (path) {
        if (const auto label = source.library.hub().label(*path); label && *label != name) {
            l.labelText = QString::fromUtf8("\u201C") + qText(*label) + QString::fromUtf8("\u201D");
        }
    }
    const double left = x0 + 33, room = std::max(0.0, l.count.left() - 4 - left);
    const double nameWidth = QFontMetricsF(theme.font(12, selected)).horizontalAdvance(l.nameText);
    const double labelWidth =
        l.labelText.isEmpty() ? 0 : QFontMetricsF(theme.font(11)).horizontalAdvance(l.labelText);
    // The folder's own name comes first; its label takes what is left, when that is
    // enough to read a little of it (the row's tooltip names it either way).
    const double shownName = std::min(nameWidth, room);
    l.name = QRectF(left, y, shownName, h);
    const double labelRoom = std::min(labelWidth, room - shownName - 6);
    if (!l.labelText.isEmpty() && labelRoom >= kMinLabel) {
        l.label = QRectF(left + shownName + 6, y, labelRoom, h);
    } else {
        l.labelText.clear();
    }
    return l;
}

} // namespace

QRect FolderTreeView::partRect(int row, Part part) const {
    if (row < 0 || row >= int(m_rows.size())) {
        return {};
    }
    const RowLayout l = layoutRow({m_library, m_look.theme(), SidebarFit::rootName(m_model)},
                                  m_rows[row], depth(row), row, width(), row == selectedRow());
    switch (part) {
    case Part::disclosure:
        return hasDisclosure(row) ? l.disclosure.adjusted(-3, -5, 3, 5).toAlignedRect() : QRect();
    case Part::badge:
        return l.badge.toAlignedRect();
    case Part::label:
        return l.label.toAlignedRect();
    case Part::row:
        break;
    }
    return QRect(0, row * rowHeight, width(), rowHeight);
}

FolderTreeView::Part FolderTreeView::partAt(int row, const QPoint& pos) const {
    for (Part part : {Part::disclosure, Part::badge, Part::label}) {
        if (partRect(row, part).contains(pos)) {
            return part;
        }
    }
    return Part::row;
}

void FolderTreeView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const int first = std::max(0, event->rect().top() / rowHeight);
    const int last = std::min(int(m_rows.size()) - 1, event->rect().bottom() / rowHeight);
    for (int row = first; row <= last; ++row) {
        paintRow(p, row);
    }
}

void FolderTreeView::paintRow(QPainter& p, int row) {
    Paint::Saver saver(p);
    const Theme& theme = m_look.theme();
    const bool selected = row == selectedRow();
    const QRectF r(2, row * rowHeight, width() - 4, rowHeight);
    QColor ink = theme.text;
    if (selected) {
        p.fillRect(r, theme.accent);
        ink = Paint::selectedInk(theme);
    } else if (row == m_hovered) {
        QColor hover = theme.accent;
        hover.setAlphaF(0.1f);
        p.fillRect(r, hover);
    }
    const RowLayout l = layoutRow({m_library, m_look.theme(), SidebarFit::rootName(m_model)},
                                  m_rows[row], depth(row), row, width(), selected);
    const QColor mark = selected ? ink : theme.dim;
    if (hasDisclosure(row)) {
        const auto turn = m_turns.find(keyOf(m_rows[row]));
        Paint::disclosure(p, l.disclosure,
                          turn == m_turns.end() ? (isOpen(row) ? 1 : 0) : turn->second.now, mark);
    }
    Paint::folderGlyph(p, l.glyph, hasDisclosure(row) && isOpen(row), mark);
    const QFont font = theme.font(12, selected);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(l.name.adjusted(0, 0, 1, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(font).elidedText(l.nameText, Qt::ElideRight, l.name.width() + 1));
    if (!l.labelText.isEmpty()) {
        p.setFont(theme.font(11));
        p.setPen(selected ? ink : theme.category);
        // Measured as laid out, in fractions of a pixel: a width rounded down would cut
        // the last letter off a label that fits.
        p.drawText(
            l.label.adjusted(0, 0, 1, 0), Qt::AlignVCenter | Qt::AlignLeft,
            QFontMetricsF(p.font()).elidedText(l.labelText, Qt::ElideRight, l.label.width() + 1));
    }
    QColor countInk = ink;
    countInk.setAlphaF(0.8f);
    p.setFont(theme.font(10));
    p.setPen(countInk);
    p.drawText(l.count, Qt::AlignVCenter | Qt::AlignRight, l.countText);
    if (m_rows[row]) {
        Paint::categoryBadge(p, l.badge, theme, m_library.hub().contains(*m_rows[row]),
                             row == m_hovered);
    }
    if (selected && hasFocus()) {
        p.setPen(QPen(ink, 1, Qt::DotLine));
        p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void FolderTreeView::fold(int row, bool all) {
    const auto& path = m_rows[row];
    if (!path) {
        m_library.setCollapsed(!m_library.tree().allCollapsed());
    } else if (all) {
        m_library.setCollapsed(m_library.tree().collapsed().count(*path) == 0, *path);
    } else {
        m_library.toggleCollapsed(*path);
    }
}

void FolderTreeView::select(int row) {
    m_library.setSelectedFolder(m_rows[row]);
    if (auto* area =
            qobject_cast<QScrollArea*>(parentWidget() ? parentWidget()->parentWidget() : nullptr)) {
        area->ensureVisible(0, row * rowHeight + rowHeight / 2, 0, rowHeight);
    }
}

void FolderTreeView::mousePressEvent(QMouseEvent* event) {
    const int row = int(event->position().y()) / rowHeight;
    if (event->button() != Qt::LeftButton || row >= int(m_rows.size())) {
        return QWidget::mousePressEvent(event);
    }
    setFocus(Qt::MouseFocusReason);
    switch (partAt(row, event->position().toPoint())) {
    case Part::disclosure:
        fold(row, event->modifiers() & Qt::AltModifier);
        break;
    case Part::badge:
        m_library.toggleCategory(*m_rows[row]);
        break;
    case Part::row:
    case Part::label:
        select(row);
        break;
    }
}

void FolderTreeView::mouseMoveEvent(QMouseEvent* event) {
    const int row = int(event->position().y()) / rowHeight;
    const int hovered = row < int(m_rows.size()) ? row : -1;
    if (hovered != m_hovered) {
        m_hovered = hovered;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void FolderTreeView::leaveEvent(QEvent* event) {
    m_hovered = -1;
    update();
    QWidget::leaveEvent(event);
}

void FolderTreeView::keyPressEvent(QKeyEvent* event) {
    const int row = selectedRow();
    const int last = int(m_rows.size()) - 1;
    const bool all = event->modifiers() & Qt::AltModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        return select(std::max(0, row - 1));
    case Qt::Key_Down:
        return select(std::min(last, row + 1));
    case Qt::Key_Left:
        if (row >= 0 && hasDisclosure(row) && isOpen(row)) {
            return fold(row, all);
        }
        if (row > 0) {
            const std::string& path = *m_rows[row];
            const auto slash = path.rfind('/');
            return select(rowOf(slash == std::string::npos ? std::nullopt
                                                           : std::optional(path.substr(0, slash)))
                              .value_or(0));
        }
        return;
    case Qt::Key_Right:
        if (row >= 0 && hasDisclosure(row) && !isOpen(row)) {
            fold(row, all);
        }
        return;
    case Qt::Key_Space:
        if (row > 0) {
            m_library.toggleCategory(*m_rows[row]);
        }
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

QString FolderTreeView::help(const QPoint& pos) const {
    const int row = pos.y() / rowHeight;
    if (row < 0 || row >= int(m_rows.size())) {
        return {};
    }
    const auto& path = m_rows[row];
    switch (partAt(row, pos)) {
    case Part::disclosure:
        return isOpen(row) ? "Collapse (Alt-click: all below)" : "Expand (Alt-click: all below)";
    case Part::badge:
        return m_library.hub().contains(*path)
                   ? "On the Apple II as a category. Click to take it off."
                   : "Click to list this folder on the Apple II as a category.";
    case Part::label:
    case Part::row:
        break;
    }
    // A labelled category says so anywhere on its row, as its label may be cut short.
    const auto label = path ? m_library.hub().label(*path) : std::nullopt;
    if (label && *label != path->substr(path->rfind('/') + 1)) {
        return QString::fromUtf8("Labelled \u201C") + qText(*label) +
               QString::fromUtf8("\u201D on the Apple II");
    }
    return {};
}

bool FolderTreeView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* tip = static_cast<QHelpEvent*>(event);
        const QString text = help(tip->pos());
        text.isEmpty() ? QToolTip::hideText() : QToolTip::showText(tip->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void FolderTreeView::fillMenu(QMenu& menu, int row) {
    const auto& path = m_rows[row];
    const auto folder = m_model.libraryFolder();
    if (!path) {
        menu.addAction("Expand All", this, [this] { m_library.setCollapsed(false); });
        menu.addAction("Collapse All", this, [this] { m_library.setCollapsed(true); });
    } else {
        QAction* on = menu.addAction("Show on Apple II as Category", this,
                                     [this, p = *path] { m_library.toggleCategory(p); });
        on->setCheckable(true);
        on->setChecked(m_library.hub().contains(*path));
        menu.addAction("Apple II Categories...", this, [this] { m_model.setShowCategories(true); });
        if (m_library.tree().hasChildren(*path)) {
            menu.addAction("Expand All Below", this,
                           [this, p = *path] { m_library.setCollapsed(false, p); });
            menu.addAction("Collapse All Below", this,
                           [this, p = *path] { m_library.setCollapsed(true, p); });
        }
    }
    QAction* show = menu.addAction("Show in File Manager", this, [this, folder, path] {
        m_model.reveal(path ? *folder / *path : *folder);
    });
    show->setEnabled(folder.has_value());
}

void FolderTreeView::contextMenuEvent(QContextMenuEvent* event) {
    const int row = event->reason() == QContextMenuEvent::Keyboard ? std::max(0, selectedRow())
                                                                   : event->pos().y() / rowHeight;
    if (row >= int(m_rows.size())) {
        return;
    }
    QMenu menu(this);
    fillMenu(menu, row);
    menu.exec(event->globalPos());
}

} // namespace vorn
