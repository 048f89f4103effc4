#include "Sidebar.h"

namespace vorn {

Sidebar::Sidebar(ShareModel& model, QWidget* parent) : Panel(model, parent) {
    setTitle("Library");
}

} // namespace vorn
