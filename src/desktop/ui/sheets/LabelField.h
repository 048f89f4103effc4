#pragma once
// The field of a category's label: the label the card draws, or empty with the folder's
// own name as a dimmed placeholder. It reports an edit once, when the user presses Return
// or leaves the field, and follows the stored label whenever the user is not typing.

#include <QLineEdit>

namespace vorn {

class Look;

class LabelField : public QLineEdit {
    Q_OBJECT
public:
    LabelField(Look& look, QWidget* parent = nullptr);

    /// Shows the stored label (empty for none), unless the user has typed since the last
    /// commit.
    void showValue(const QString& label, const QString& placeholder);

signals:
    /// The user finished an edit.
    void committed(const QString& text);

private:
    void restyle();
    void finish();

    Look& m_look;
};

} // namespace vorn
