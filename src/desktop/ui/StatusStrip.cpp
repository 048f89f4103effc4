#include "StatusStrip.h"

#include "Paint.h"
#include "model/ShareModel.h"
#include "model/WindowTexts.h"

#include <QFontMetricsF>
#include <QPainter>

namespace vorn {

StatusStrip::StatusStrip(ShareModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setFixedHeight(14);
    for (auto signal :
         {&ShareModel::sharingChanged, &ShareModel::trafficChanged, &ShareModel::settingsChanged,
          &ShareModel::logChanged, &ShareModel::workChanged}) {
        connect(&model, signal, this, &StatusStrip::refresh);
    }
    connect(&model.look(), &Look::changed, this, &StatusStrip::refresh);
    connect(&model.library(), &LibraryModel::contentsChanged, this, &StatusStrip::refresh);
    refresh();
}

QStringList StatusStrip::parts() const {
    QStringList texts;
    for (const std::string& part : WindowTexts::statusParts(m_model)) {
        texts << QString::fromStdString(part);
    }
    return texts;
}

void StatusStrip::refresh() {
    setAccessibleName(parts().join(", "));
    QStringList log;
    for (const std::string& line : m_model.logLines()) {
        log << QString::fromStdString(line);
    }
    setToolTip(log.join('\n'));
    update();
}

void StatusStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_model.theme();
    p.fillRect(QRectF(0, 0, width(), 0.5),
               theme.isPhosphor ? theme.panelStroke : QColor(Qt::black));
    const double middle = height() / 2.0 + 0.5;
    Paint::activityLight(p, QPointF(6, middle), m_model.sharing() ? Activity::read : Activity::none,
                         theme);
    const QFont font = theme.font(10);
    p.setFont(font);
    const QFontMetricsF metrics(font);
    const QString status = parts().join(QStringLiteral("   "));
    const QColor ink = theme.isPhosphor ? theme.dim : QColor(Qt::white);
    p.setPen(ink);
    const QRectF area(16, 1, width() - 16, height() - 1);
    p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft, status);
    if (!m_model.logLines().empty()) {
        const double left = 16 + metrics.horizontalAdvance(status) + 24;
        const QRectF logArea(left, 1, width() - left - 2, height() - 1);
        const QString line = QString::fromStdString(m_model.logLines().back());
        p.drawText(logArea, Qt::AlignVCenter | Qt::AlignRight,
                   metrics.elidedText(line, Qt::ElideLeft, logArea.width()));
    }
}

} // namespace vorn
