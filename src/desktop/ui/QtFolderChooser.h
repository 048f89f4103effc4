#pragma once
// Asks for the library folder with the desktop's folder dialog.

#include "model/FolderChooser.h"

class QWidget;

namespace vorn {

class QtFolderChooser : public FolderChooser {
public:
    /// The dialog is modal to `parent`'s window.
    explicit QtFolderChooser(QWidget* parent) : m_parent(parent) {}
    std::optional<std::filesystem::path>
    chooseFolder(const std::filesystem::path& current) override;

private:
    QWidget* m_parent;
};

} // namespace vorn
