#include "CategoriesSheet.h"

#include <QVBoxLayout>

namespace vorn {

CategoriesSheet::CategoriesSheet(ShareModel&, bool, QWidget* parent) : QDialog(parent) {
    new QVBoxLayout(this);
}

} // namespace vorn
