#include "QtFolderChooser.h"

#include <QDir>
#include <QFileDialog>

namespace vorn {

std::optional<std::filesystem::path>
QtFolderChooser::chooseFolder(const std::filesystem::path& current) {
    QFileDialog dialog(m_parent);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QString::fromUtf8(prompt.data(), prompt.size()));
    // Folder dialogs have no room for a message; the title carries it.
    dialog.setWindowTitle(QString::fromUtf8(message.data(), message.size()));
    dialog.setDirectory(current.empty() ? QDir::homePath()
                                        : QString::fromStdString(current.string()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

} // namespace vorn
