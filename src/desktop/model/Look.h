#pragma once
// The window's current look, apart from the rest of the model: most widgets need only
// this (their fonts and colours, and a signal to restyle), so they take it alone.

#include "Theme.h"
#include "UITheme.h"

#include <QObject>

namespace vorn {

/// Owned by ShareModel, which stores the person's choice and then sets it here.
class Look : public QObject {
    Q_OBJECT
public:
    explicit Look(UITheme look = UITheme::eightBit, QObject* parent = nullptr);

    UITheme uiTheme() const { return m_look; }
    const Theme& theme() const { return Theme::of(m_look); }
    /// Switches the look; changed() only when it differs from the one shown.
    void set(UITheme look);

signals:
    void changed();

private:
    UITheme m_look;
};

} // namespace vorn
