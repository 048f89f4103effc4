#pragma once
// A panel of the look: its fill inside its stroke, and with a title, an IIGS title bar
// along its top. Children are laid out inside the panel's margins, below the bar.

#include <QWidget>

namespace vorn {

class Look;

class Panel : public QWidget {
    Q_OBJECT
public:
    explicit Panel(Look& look, QWidget* parent = nullptr);

    /// The title bar's text; none without.
    void setTitle(const QString& title);
    const QString& title() const { return m_title; }
    /// The title as the bar draws it in the current look.
    QString shownTitle() const;
    /// Room between the panel's edge (or title bar) and its children.
    void setInnerMargins(int left, int top, int right, int bottom);

protected:
    void paintEvent(QPaintEvent* event) override;
    Look& look() const { return m_look; }

private:
    void updateMargins();

    Look& m_look;
    QString m_title;
    QMargins m_inner{12, 10, 12, 10};
};

} // namespace vorn
