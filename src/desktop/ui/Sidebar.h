#pragma once
// The sidebar: kind rows and the library's folder tree.

#include "Panel.h"

namespace vorn {

class Sidebar : public Panel {
    Q_OBJECT
public:
    explicit Sidebar(ShareModel& model, QWidget* parent = nullptr);
};

} // namespace vorn
