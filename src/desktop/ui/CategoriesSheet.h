#pragma once
// The categories sheet.

#include <QDialog>

namespace vorn {

class ShareModel;

class CategoriesSheet : public QDialog {
    Q_OBJECT
public:
    CategoriesSheet(ShareModel& model, bool snapshotMode, QWidget* parent = nullptr);
};

} // namespace vorn
