#pragma once
// The title bar of a sheet: the IIGS window bar (rules behind a centred 16-pixel title) as
// wide as the sheet, with the sheet's closing button at its right end.

#include <QWidget>

namespace vorn {

class A2Button;
class Look;

class SheetTitleBar : public QWidget {
    Q_OBJECT
public:
    SheetTitleBar(Look& look, const QString& title, const QString& closeText,
                  QWidget* parent = nullptr);

    A2Button* closeButton() const { return m_close; }
    const QString& title() const { return m_title; }
    void setTitle(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    Look& m_look;
    QString m_title;
    A2Button* m_close;
};

} // namespace vorn
