#include "SheetTitleBar.h"

#include "model/Look.h"
#include "ui/A2Button.h"
#include "ui/Paint.h"

#include <QHBoxLayout>
#include <QPainter>

namespace vorn {
namespace {
constexpr int kTitleSize = 16;
} // namespace

SheetTitleBar::SheetTitleBar(Look& look, const QString& title, const QString& closeText,
                             QWidget* parent)
    : QWidget(parent), m_look(look), m_title(title), m_close(new A2Button(look, closeText, this)) {
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 5);
    row->addStretch(1);
    row->addWidget(m_close);
    connect(&look, &Look::changed, this, &SheetTitleBar::restyle);
    restyle();
}

void SheetTitleBar::setTitle(const QString& title) {
    m_title = title;
    setAccessibleName(title);
    update();
}

void SheetTitleBar::restyle() {
    setMinimumHeight(QFontMetrics(m_look.theme().font(kTitleSize, true)).height() + 12);
    update();
}

void SheetTitleBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_look.theme();
    Paint::titleBar(p, QRectF(rect()), theme.isPhosphor ? m_title.toUpper() : m_title, theme,
                    kTitleSize);
}

} // namespace vorn
