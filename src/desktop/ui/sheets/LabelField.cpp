#include "LabelField.h"

#include "library/HubConfig.h"
#include "model/Look.h"
#include "ui/LookStyle.h"

namespace vorn {

LabelField::LabelField(Look& look, QWidget* parent) : QLineEdit(parent), m_look(look) {
    // The card clips a label at this width; typing stops where the card would cut.
    setMaxLength(int(HubConfig::labelMax));
    setAccessibleName("Label on the Apple II");
    connect(this, &QLineEdit::editingFinished, this, &LabelField::finish);
    connect(&look, &Look::changed, this, &LabelField::restyle);
    restyle();
}

void LabelField::showValue(const QString& label, const QString& placeholder) {
    setPlaceholderText(placeholder);
    if (!isModified() && text() != label) {
        setText(label);
    }
}

void LabelField::finish() {
    if (isModified()) {
        // Cleared before the model answers, so that its answer (which may drop the label
        // again, as for the folder's own name) replaces what was typed.
        setModified(false);
        emit committed(text());
    }
}

void LabelField::restyle() {
    setFont(m_look.theme().font(11));
    setPalette(LookStyle::palette(m_look.theme()));
}

} // namespace vorn
