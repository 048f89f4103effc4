#pragma once
// "Show in File Manager": asks the desktop's file manager over D-Bus (the freedesktop
// FileManager1 ShowItems call) to show the file selected; when no file manager answers,
// opens the file's folder instead.

#include "model/FileRevealer.h"

#include <QObject>

namespace vorn {

class FileManagerRevealer : public QObject, public FileRevealer {
    Q_OBJECT
public:
    explicit FileManagerRevealer(QObject* parent = nullptr) : QObject(parent) {}
    void reveal(const std::filesystem::path& file) override;

    /// Opens the folder that holds `file` with the desktop's default program.
    static void openFolderOf(const std::filesystem::path& file);
};

} // namespace vorn
