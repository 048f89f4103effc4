#pragma once
// Showing a library file in the user's file manager ("Show in File Manager"). The window
// asks the file manager over D-Bus, else opens the file's folder; tests record the call.

#include <filesystem>

namespace vorn {

class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    /// Opens the file manager on the file's folder with the file selected.
    virtual void reveal(const std::filesystem::path& file) = 0;
};

} // namespace vorn
