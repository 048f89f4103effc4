#pragma once
// A one-line text field in the look's font and colours that reports a finished edit
// (Return, or leaving the field) once, and only when the text changed.

#include <QLineEdit>

namespace vorn {

class Look;

class ThemedField : public QLineEdit {
    Q_OBJECT
public:
    ThemedField(Look& look, int size, QWidget* parent = nullptr);

    /// Shows `text` as the stored value, unless the user is editing the field.
    void showValue(const QString& text);
    /// Finishes an edit in progress now, as Return would.
    void commit();

signals:
    /// The user finished an edit that changed the text.
    void committed(const QString& text);

private:
    void restyle();

    Look& m_look;
    int m_size;
    QString m_shown;
};

} // namespace vorn
