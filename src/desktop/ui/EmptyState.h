#pragma once
// What the table area shows with nothing to list: a line saying why (no library folder,
// or nothing shareable in it) and the three kinds of files that are shared.

#include <QWidget>

namespace vorn {

class ShareModel;
class ThemedLabel;

class EmptyState : public QWidget {
    Q_OBJECT
public:
    explicit EmptyState(ShareModel& model, QWidget* parent = nullptr);

    /// The headline shown now.
    QString headline() const;

private:
    void showReason();

    ShareModel& m_model;
    ThemedLabel* m_headline;
};

} // namespace vorn
