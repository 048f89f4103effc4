#pragma once
// One row of the categories sheet: the check mark that takes the folder off, the folder's
// path, its label on the card, how many items it lists, and the two arrows that move it.
// The row shows what the sheet gives it and reports the user's clicks and edits.

#include <QWidget>

namespace vorn {

class A2Button;
class A2Toggle;
class LabelField;
class Look;
class ThemedLabel;
struct HubCategory;

class CategoryRow : public QWidget {
    Q_OBJECT
public:
    /// Widths shared with the sheet's header row.
    static constexpr int checkWidth = 34;
    static constexpr int labelWidth = 210;
    static constexpr int countWidth = 30;
    static constexpr int arrowsWidth = 56;

    /// `staticText`: the label as plain text (snapshot mode), no field.
    CategoryRow(Look& look, bool staticText, QWidget* parent = nullptr);

    /// Shows the category at `index` of `total`; odd rows are striped.
    void showCategory(const HubCategory& category, std::int64_t count, int index, int total);
    const QString& path() const { return m_path; }

    A2Toggle* check() const { return m_check; }
    /// The label's field; none with static text.
    LabelField* field() const { return m_field; }
    A2Button* upButton() const { return m_up; }
    A2Button* downButton() const { return m_down; }

signals:
    void takeOff(const QString& path);
    void labelCommitted(const QString& path, const QString& text);
    /// -1 up, +1 down.
    void move(int step);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    A2Button* arrow(const QString& glyph, const QString& name, int step);

    Look& m_look;
    QString m_path;
    bool m_striped = false;
    A2Toggle* m_check;
    ThemedLabel* m_folder;
    LabelField* m_field = nullptr;
    ThemedLabel* m_staticLabel = nullptr;
    ThemedLabel* m_count;
    A2Button* m_up;
    A2Button* m_down;
};

} // namespace vorn
