#include "LookSwitch.h"

#include "A2Button.h"
#include "model/ShareModel.h"

#include <QHBoxLayout>

namespace vorn {

LookSwitch::LookSwitch(ShareModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_eightBit(new A2Button(model.look(), "8-BIT", this)),
      m_gs(new A2Button(model.look(), "IIGS", this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    const QString help = "Switch the look: 8-bit phosphor or IIGS Finder";
    for (A2Button* segment : {m_eightBit, m_gs}) {
        segment->setCheckable(true);
        segment->setInset(10);
        segment->setToolTip(help);
        row->addWidget(segment);
    }
    m_eightBit->setAccessibleName("8-bit look");
    m_gs->setAccessibleName("IIGS look");
    // A click toggles the segment; the look shown decides which one is lit again.
    connect(m_eightBit, &QPushButton::clicked, this, [this] {
        m_model.setUITheme(UITheme::eightBit);
        showLook();
    });
    connect(m_gs, &QPushButton::clicked, this, [this] {
        m_model.setUITheme(UITheme::gs);
        showLook();
    });
    connect(&model.look(), &Look::changed, this, &LookSwitch::showLook);
    showLook();
}

// Both segments are checkable so that each draws its own state.
void LookSwitch::showLook() {
    const bool gs = m_model.uiTheme() == UITheme::gs;
    m_eightBit->setChecked(!gs);
    m_gs->setChecked(gs);
}

} // namespace vorn
