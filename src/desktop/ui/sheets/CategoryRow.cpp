#include "CategoryRow.h"

#include "LabelField.h"
#include "library/HubConfig.h"
#include "model/Look.h"
#include "ui/A2Button.h"
#include "ui/A2Toggle.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QPainter>

namespace vorn {
namespace {

QString lastComponent(const QString& path) {
    return path.section('/', -1, -1, QString::SectionSkipEmpty);
}

} // namespace

CategoryRow::CategoryRow(Look& look, bool staticText, QWidget* parent)
    : QWidget(parent), m_look(look), m_check(new A2Toggle(look, QString(), this)),
      m_folder(new ThemedLabel(look, 11, Tone::text, false, this)),
      m_count(new ThemedLabel(look, 11, Tone::dim, false, this)),
      m_up(arrow(QStringLiteral("\u25B2"), "Move up", -1)),
      m_down(arrow(QStringLiteral("\u25BC"), "Move down", +1)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(8);
    // The style's own margins round a check box would push the row off the header's columns.
    m_check->setAttribute(Qt::WA_LayoutUsesWidgetRect);
    m_check->setFixedWidth(checkWidth - 8);
    m_check->setToolTip("Take this folder off the Apple II");
    connect(m_check, &QAbstractButton::clicked, this, [this] { emit takeOff(m_path); });
    row->addWidget(m_check);
    m_folder->setElide(Qt::ElideMiddle);
    row->addWidget(m_folder, 1);
    if (staticText) {
        m_staticLabel = new ThemedLabel(look, 11, Tone::text, false, this);
        m_staticLabel->setFixedWidth(labelWidth);
        row->addWidget(m_staticLabel);
    } else {
        m_field = new LabelField(look, this);
        m_field->setFixedWidth(labelWidth);
        connect(m_field, &LabelField::committed, this,
                [this](const QString& text) { emit labelCommitted(m_path, text); });
        row->addWidget(m_field);
    }
    m_count->setFixedWidth(countWidth);
    m_count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(m_count);
    auto* arrows = new QHBoxLayout;
    arrows->setSpacing(2);
    arrows->addWidget(m_up);
    arrows->addWidget(m_down);
    row->addLayout(arrows);
}

A2Button* CategoryRow::arrow(const QString& glyph, const QString& name, int step) {
    auto* button = new A2Button(m_look, glyph, this);
    button->setInset(6);
    button->setAccessibleName(name);
    button->setToolTip(name);
    connect(button, &QPushButton::clicked, this, [this, step] { emit move(step); });
    return button;
}

void CategoryRow::showCategory(const HubCategory& category, std::int64_t count, int index,
                               int total) {
    m_path = QString::fromStdString(category.path);
    m_folder->setShownText(m_path);
    m_folder->setToolTip(m_path);
    m_check->setAccessibleName("Take " + m_path + " off the Apple II");
    // A row lists a category, so its box is on. The sheet reuses rows for other
    // categories, and a click has just turned this box off.
    m_check->setChecked(true);
    const QString label = QString::fromStdString(category.label.value_or(""));
    const QString own = lastComponent(m_path);
    if (m_field) {
        m_field->setAccessibleName("Label of " + m_path + " on the Apple II");
        m_field->showValue(label, own);
    } else {
        // Snapshot mode: the label, or the folder's own name dimmed as a field's placeholder.
        m_staticLabel->setShownText(label.isEmpty() ? own : label);
        m_staticLabel->setTone(label.isEmpty() ? Tone::faint : Tone::text);
    }
    m_count->setShownText(QString::number(count));
    // The arrow that cannot apply is dimmed and does nothing.
    m_up->setEnabled(index > 0);
    m_down->setEnabled(index + 1 < total);
    m_striped = index % 2 == 1;
    update();
}

void CategoryRow::paintEvent(QPaintEvent*) {
    if (m_striped) {
        QPainter p(this);
        p.fillRect(rect(), m_look.theme().stripe);
    }
}

} // namespace vorn
