#include "ThemedField.h"

#include "LookStyle.h"
#include "model/Look.h"

namespace vorn {

ThemedField::ThemedField(Look& look, int size, QWidget* parent)
    : QLineEdit(parent), m_look(look), m_size(size) {
    connect(&look, &Look::changed, this, &ThemedField::restyle);
    connect(this, &QLineEdit::editingFinished, this, &ThemedField::commit);
    restyle();
}

void ThemedField::showValue(const QString& text) {
    m_shown = text;
    if (!hasFocus() && this->text() != text) {
        setText(text);
    }
}

void ThemedField::commit() {
    if (text() != m_shown) {
        m_shown = text();
        emit committed(text());
    }
}

void ThemedField::restyle() {
    setFont(m_look.theme().font(m_size));
    setPalette(LookStyle::palette(m_look.theme()));
}

} // namespace vorn
