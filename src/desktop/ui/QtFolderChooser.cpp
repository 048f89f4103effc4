#include "QtFolderChooser.h"

#include "model/QtText.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace vorn {
namespace {

// The explanation goes under the folder list, inside the dialog: a window title is cut
// short by the window manager, and some draw no title bar at all. Only Qt's own dialog
// has a layout to put it in, so the desktop's native one is not used.
void explain(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    auto* note = new QLabel(qText(FolderChooser::message), &dialog);
    note->setWordWrap(true);
    if (grid != nullptr) {
        grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
    }
}

} // namespace

std::optional<std::filesystem::path>
QtFolderChooser::chooseFolder(const std::filesystem::path& current) {
    QFileDialog dialog(m_parent, "Choose the Library Folder");
    explain(dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, qText(prompt));
    dialog.setDirectory(current.empty() ? QDir::homePath()
                                        : QString::fromStdString(current.string()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

} // namespace vorn
