#include "RowDelegate.h"

#include "Paint.h"
#include "model/LibraryTableModel.h"
#include "model/QtText.h"
#include "model/ShareModel.h"

#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace vorn {
namespace {

constexpr double kChip = 14;
constexpr double kLightSpan = 6;

QChar kindLetter(TableRow::Kind kind) {
    switch (kind) {
    case TableRow::Kind::image:
        return 'I';
    case TableRow::Kind::track:
    case TableRow::Kind::pending:
    case TableRow::Kind::failed:
        return 'A';
    case TableRow::Kind::picture:
    case TableRow::Kind::pendingPic:
    case TableRow::Kind::failedPic:
        break;
    }
    return 'P';
}

} // namespace

RowDelegate::RowDelegate(ShareModel& model, QObject* parent)
    : QStyledItemDelegate(parent), m_model(model) {}

QSize RowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {60, 22};
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    QPainter& p = *painter;
    Paint::Saver saver(p);
    const Theme& theme = m_model.theme();
    const QRectF r = option.rect;
    if (index.row() % 2 == 1) {
        p.fillRect(r, theme.stripe);
    }
    const TableRow& row = m_model.library().tableModel().tableRow(index.row());
    const auto column = TableColumn(index.column());
    // A selected row is drawn inverse, as the sidebar's: the look's text colours would
    // vanish on the selection.
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        p.fillRect(r, theme.accent);
    }
    if (column == TableColumn::type) {
        paintTypeCell(p, r, index);
    } else if (column == TableColumn::boot && !row.isPending()) {
        paintBootCell(p, r, row);
    } else {
        const QColor ink = column == TableColumn::name && !row.isPending() ? theme.text : theme.dim;
        paintText(p, r, index, column, selected ? Paint::selectedInk(theme) : ink);
    }
}

void RowDelegate::paintTypeCell(QPainter& p, const QRectF& r, const QModelIndex& index) const {
    const Theme& theme = m_model.theme();
    const auto kind = TableRow::Kind(index.data(LibraryTableModel::KindRole).toInt());
    const auto activity = Activity(index.data(LibraryTableModel::ActivityRole).toInt());
    const double x = r.left() + inset;
    Paint::activityLight(p, QPointF(x + kLightSpan / 2, r.center().y()), activity, theme);
    const QRectF chip(x + kLightSpan + 4, r.center().y() - kChip / 2, kChip, kChip);
    const bool pending = kind != TableRow::Kind::image && kind != TableRow::Kind::track &&
                         kind != TableRow::Kind::picture;
    Paint::typeChip(p, chip, kindLetter(kind), theme, pending);
}

void RowDelegate::paintBootCell(QPainter& p, const QRectF& r, const TableRow& row) const {
    const Theme& theme = m_model.theme();
    const bool boot = row.image() && row.image()->bootable;
    if (!boot && !row.picture()) {
        return;
    }
    const QString letter = boot ? "B" : "R";
    const QSizeF size = Paint::inverseChipSize(letter, theme);
    const QRectF chip(r.center().x() - size.width() / 2, r.center().y() - size.height() / 2,
                      size.width(), size.height());
    if (boot && !theme.isPhosphor) {
        Paint::inverseChip(p, chip, letter, theme, theme.accent, QColor(Qt::white));
    } else {
        Paint::inverseChip(p, chip, letter, theme);
    }
}

void RowDelegate::paintText(QPainter& p, const QRectF& r, const QModelIndex& index,
                            TableColumn column, const QColor& ink) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) {
        return;
    }
    const Theme& theme = m_model.theme();
    const bool name = column == TableColumn::name;
    const QFont font = theme.font(name ? 12 : 11);
    const bool numeric = column == TableColumn::size || column == TableColumn::blocks;
    const QRectF area = r.adjusted(inset, 3, name ? -2 : -inset, -3);
    p.setFont(font);
    p.setPen(ink);
    const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, area.width());
    p.drawText(area, Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft), shown);
}

QString RowDelegate::help(const QModelIndex& index, int x) const {
    const TableRow& row = m_model.library().tableModel().tableRow(index.row());
    const auto column = TableColumn(index.column());
    if (column == TableColumn::type && x < inset + kLightSpan + 2) {
        const Activity activity = m_model.activity(row);
        return activity == Activity::read    ? "Card is reading"
               : activity == Activity::write ? "Card is writing"
                                             : QString();
    }
    if (column == TableColumn::boot && row.picture()) {
        return "Ready for streaming";
    }
    if (const AudioTrack* track = row.track()) {
        return qText(track->sourceName) + " -> " + qText(track->pcmPath.filename().string()) +
               " (u8/21973/mono PCM)";
    }
    if (row.picture()) {
        return "Click to preview original and SHR";
    }
    // Says why a .dsk file appears when most of them are skipped.
    if (const DiskImage* image = row.image(); image && image->dosOrder) {
        return "DOS-order disk, served in ProDOS order";
    }
    return {};
}

bool RowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                            const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QString text = help(index, event->pos().x() - option.rect.left());
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(event->globalPos(), text, view);
    }
    return true;
}

} // namespace vorn
