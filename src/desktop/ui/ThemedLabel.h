#pragma once
// A label in the current look: its font size, weight, colour and opacity are given once
// and follow every switch of look. In the 8-bit look it can show its text upper-cased,
// and it can elide a long text (a folder path) instead of growing the window.

#include "model/Theme.h"

#include <QLabel>

namespace vorn {

class Look;

/// Which colour of the theme a text uses.
enum class Tone { text, dim, faint, accent, warn, error, title };

class ThemedLabel : public QLabel {
    Q_OBJECT
public:
    ThemedLabel(Look& look, int size, Tone tone = Tone::text, bool bold = false,
                QWidget* parent = nullptr);

    /// The theme's colour of a tone.
    static QColor color(const Theme& theme, Tone tone);

    /// The text as written; shown upper-cased in the 8-bit look when upperInPhosphor is set.
    void setShownText(const QString& text);
    const QString& shownText() const { return m_text; }
    void setTone(Tone tone);
    void setFontSize(int size, bool bold);
    void setOpacity(double opacity);
    void setUpperInPhosphor(bool on);
    /// Elides the text where it does not fit; the label then asks for no width of its own.
    void setElide(Qt::TextElideMode mode);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    Look& m_look;
    int m_size;
    Tone m_tone;
    bool m_bold;
    double m_opacity = 1.0;
    bool m_upper = false;
    Qt::TextElideMode m_elide = Qt::ElideNone;
    QString m_text;
};

} // namespace vorn
