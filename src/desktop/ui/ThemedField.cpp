#include "ThemedField.h"

#include "LookStyle.h"
#include "model/ShareModel.h"

namespace vorn {

ThemedField::ThemedField(ShareModel& model, int size, QWidget* parent)
    : QLineEdit(parent), m_model(model), m_size(size) {
    connect(&model, &ShareModel::lookChanged, this, &ThemedField::restyle);
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
    setFont(m_model.theme().font(m_size));
    setPalette(LookStyle::palette(m_model.theme()));
}

} // namespace vorn
