#include "Sheet.h"

#include "SheetTitleBar.h"
#include "model/ShareModel.h"
#include "ui/A2Button.h"
#include "ui/LookStyle.h"
#include "ui/Paint.h"
#include "ui/ScanlineOverlay.h"
#include "ui/ThemedLabel.h"

#include <QPainter>
#include <QVBoxLayout>

namespace vorn {

Sheet::Sheet(ShareModel& model, bool snapshotMode, const QString& title, const QString& closeText,
             QWidget* parent)
    : QDialog(parent), m_model(model), m_snapshotMode(snapshotMode), m_body(new QVBoxLayout) {
    setWindowTitle(title);
    setAccessibleName(title);
    if (!snapshotMode) {
        setWindowModality(Qt::WindowModal);
    }
    m_titleBar = new SheetTitleBar(model, title, closeText, this);
    m_close = m_titleBar->closeButton();
    connect(m_close, &QPushButton::clicked, this, &Sheet::reject);
    auto* column = new QVBoxLayout(this);
    // The panel's stroke stays clear of the children; the IIGS drop edge needs 2 more.
    column->setContentsMargins(2, 2, 4, 4);
    column->setSpacing(0);
    column->addWidget(m_titleBar);
    m_body->setContentsMargins(16, 16, 16, 16);
    m_body->setSpacing(12);
    column->addLayout(m_body, 1);
    new ScanlineOverlay(model, this);
    connect(&model, &ShareModel::lookChanged, this, &Sheet::restyle);
    restyle();
}

ThemedLabel* Sheet::text(int size, Tone tone, const QString& shown, bool wrap, bool bold) {
    auto* label = new ThemedLabel(m_model, size, tone, bold, this);
    label->setShownText(shown);
    label->setWordWrap(wrap);
    return label;
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
