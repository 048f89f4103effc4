#include "Look.h"

namespace vorn {

Look::Look(UITheme look, QObject* parent) : QObject(parent), m_look(look) {}

void Look::set(UITheme look) {
    if (look != m_look) {
        m_look = look;
        emit changed();
    }
}

} // namespace vorn
