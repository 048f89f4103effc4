#include "Sheet.h"

#include "SheetTitleBar.h"
#include "model/ShareModel.h"
#include "ui/A2Button.h"
#include "ui/LookStyle.h"
#include "ui/Paint.h"
#include "ui/ScanlineOverlay.h"
#include "ui/ThemedLabel.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

namespace vorn {

Sheet::Sheet(ShareModel& model, bool snapshotMode, const QString& title, const QString& closeText,
             QWidget* parent)
    : QDialog(parent), m_model(model), m_snapshotMode(snapshotMode), m_body(new QVBoxLayout) {
    setWindowTitle(title);
    setAccessibleName(title);
    if (!snapshotMode) {
        setWindowModality(Qt::WindowModal);
    }
    m_titleBar = new SheetTitleBar(model.look(), title, closeText, this);
    m_close = m_titleBar->closeButton();
    connect(m_close, &QPushButton::clicked, this, &Sheet::reject);
    m_column = new QVBoxLayout(this);
    // The panel's stroke stays clear of the children; the IIGS drop edge needs 2 more.
    m_column->setContentsMargins(2, 2, 4, 4);
    m_column->setSpacing(0);
    m_column->addWidget(m_titleBar);
    m_body->setContentsMargins(16, 16, 16, 16);
    m_body->setSpacing(12);
    // The body sits in a row of its own, whose strut is the sheet's least height.
    m_bodyRow = new QHBoxLayout;
    m_bodyRow->setContentsMargins(0, 0, 0, 0);
    m_bodyRow->addLayout(m_body);
    m_column->addLayout(m_bodyRow, 1);
    new ScanlineOverlay(model.look(), this);
    connect(&model.look(), &Look::changed, this, &Sheet::restyle);
    restyle();
}

ThemedLabel* Sheet::text(int size, Tone tone, const QString& shown, bool wrap, bool bold) {
    auto* label = new ThemedLabel(m_model.look(), size, tone, bold, this);
    label->setShownText(shown);
    label->setWordWrap(wrap);
    return label;
}

// Struts rather than a minimum size of the dialog, which would stop the layout from
// raising the minimum to what the content needs.
void Sheet::setLeastSize(int width, int height) {
    m_column->addStrut(width - 6);
    if (height > 0) {
        m_bodyRow->addStrut(height - 6 - m_titleBar->minimumHeight());
    }
}

void Sheet::fitHeight() {
    layout()->activate();
    const int content = hasHeightForWidth() ? heightForWidth(width()) : sizeHint().height();
    resize(width(), std::max(content, minimumHeight()));
}

void Sheet::setTitle(const QString& title) {
    m_titleBar->setTitle(title);
}

void Sheet::reject() {
    closeByUser();
    QDialog::reject();
}

void Sheet::followFlag(bool open) {
    if (!open && isVisible()) {
        QDialog::done(QDialog::Accepted);
    }
}

void Sheet::restyle() {
    QPalette palette = LookStyle::palette(m_model.theme());
    // Lists and scroll areas inside the sheet stand on the panel, not the window.
    palette.setColor(QPalette::Window, m_model.theme().panel);
    setPalette(palette);
    update();
}

void Sheet::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Theme& theme = m_model.theme();
    p.fillRect(rect(), theme.background);
    Paint::panel(
        p, QRectF(rect()).adjusted(1, 1, theme.isPhosphor ? -1 : -3, theme.isPhosphor ? -1 : -3),
        theme);
}

} // namespace vorn
