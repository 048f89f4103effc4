#pragma once
// The colours and fonts of one look. Views draw with these; the table measures its
// columns with the same fonts so that what is measured is what is drawn.

#include "UITheme.h"

#include <QColor>
#include <QFont>

namespace vorn {

struct Theme {
    /// Monospaced font, upper-case headers and the 8-bit forms of the controls.
    bool isPhosphor = false;
    QColor background;
    QColor panel;
    QColor panelStroke;
    QColor titleBar;
    QColor text;
    /// Secondary text.
    QColor dim;
    /// Hints and disabled things.
    QColor faint;
    /// Highlights and selection.
    QColor accent;
    /// Warnings such as skipped items.
    QColor warn;
    QColor error;
    QColor chipBG;
    QColor chipFG;
    /// Background of odd table rows.
    QColor stripe;
    QColor titleText;
    /// Category badges of the folder tree.
    QColor category;
    QColor categoryFG;

    /// Green phosphor on black (the 8-bit look).
    static const Theme& phosphor();
    /// Black on light grey panels over a blue desktop (the IIGS look).
    static const Theme& gsFinder();
    /// The theme of a look.
    static const Theme& of(UITheme look);

    /// The look's font: the system monospaced font for phosphor, the proportional one
    /// otherwise, `size` logical pixels high (the unit of every width in the table).
    QFont font(int size, bool bold = false) const;
};

} // namespace vorn
