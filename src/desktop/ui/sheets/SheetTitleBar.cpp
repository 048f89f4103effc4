#include "SheetTitleBar.h"

#include "model/ShareModel.h"
#include "ui/A2Button.h"
#include "ui/Paint.h"

#include <QHBoxLayout>
#include <QPainter>

namespace vorn {
namespace {
constexpr int kTitleSize = 16;
} // namespace

SheetTitleBar::SheetTitleBar(ShareModel& model, const QString& title, const QString& closeText,
                             QWidget* parent)
    : QWidget(parent), m_model(model), m_title(title),
      m_close(new A2Button(model, closeText, this)) {
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 5);
    row->addStretch(1);
    row->addWidget(m_close);
    connect(&model, &ShareModel::lookChanged, this, &SheetTitleBar::restyle);
    restyle();
}

void SheetTitleBar::setTitle(const QString& title) {
    m_title = title;
    setAccessibleName(title);
    update();
}

void SheetTitleBar::restyle() {
    setMinimumHeight(QFontMetrics(m_model.theme().font(kTitleSize, true)).height() + 12);
    update();
}

void SheetTitleBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_model.theme();
    Paint::titleBar(p, QRectF(rect()), theme.isPhosphor ? m_title.toUpper() : m_title, theme,
                    kTitleSize);
}

} // namespace vorn
