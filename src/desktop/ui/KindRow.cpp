#include "KindRow.h"

#include "Paint.h"
#include "model/LibraryModel.h"
#include "model/Look.h"
#include "model/SidebarFit.h"

#include <QFontMetricsF>
#include <QPainter>

namespace vorn {
namespace {

constexpr int kHeight = 22;
constexpr QChar kMarks[] = {'*', 'I', 'A', 'P'};

} // namespace

KindRow::KindRow(LibraryModel& library, Look& look, KindFilter kind, QWidget* parent)
    : QAbstractButton(parent), m_library(library), m_look(look), m_kind(kind) {
    const std::string_view label = SidebarFit::kindLabels[int(kind)];
    setText(QString::fromUtf8(label.data(), qsizetype(label.size())));
    setFocusPolicy(Qt::StrongFocus);
    setCheckable(true);
    setAutoExclusive(false);
    connect(this, &QAbstractButton::clicked, this, [this] {
        m_library.setKindFilter(m_kind);
        refresh();
    });
    for (auto signal : {&LibraryModel::tableChanged, &LibraryModel::contentsChanged}) {
        connect(&library, signal, this, &KindRow::refresh);
    }
    connect(&look, &Look::changed, this, &KindRow::refresh);
    refresh();
}

QSize KindRow::sizeHint() const {
    return {60, kHeight};
}

void KindRow::refresh() {
    setChecked(m_library.table().kindFilter() == m_kind);
    setAccessibleName(text() + ", " + QString::number(m_library.table().count(m_kind)));
    update();
}

void KindRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    const bool current = isChecked();
    const QRectF r = QRectF(rect()).adjusted(2, 1, -2, -1);
    if (current) {
        p.fillRect(r, theme.accent);
    }
    const QColor ink = current ? Paint::selectedInk(theme) : theme.text;
    Paint::typeChip(p, QRectF(8, (height() - 14) / 2.0, 14, 14), kMarks[int(m_kind)], theme, false);
    const QString count = QString::number(m_library.table().count(m_kind));
    const QFont countFont = theme.font(11);
    const double countWidth = QFontMetricsF(countFont).horizontalAdvance(count);
    const QFont font = theme.font(12, true);
    const QString label = theme.isPhosphor ? text().toUpper() : text();
    const QRectF labelArea(26, 0, width() - 26 - countWidth - 12, height());
    p.setFont(font);
    p.setPen(ink);
    p.drawText(labelArea, Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(font).elidedText(label, Qt::ElideRight, labelArea.width()));
    QColor countInk = ink;
    countInk.setAlphaF(0.8f);
    p.setFont(countFont);
    p.setPen(countInk);
    p.drawText(QRectF(0, 0, width() - 8, height()), Qt::AlignVCenter | Qt::AlignRight, count);
    if (hasFocus()) {
        p.setPen(QPen(current ? ink : theme.accent, 1, Qt::DotLine));
        p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

} // namespace vorn
