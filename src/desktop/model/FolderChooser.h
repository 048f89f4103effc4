#pragma once
// Asking the user for the library folder. The window asks with a folder dialog; tests
// answer with a fixed folder, or with none.

#include <filesystem>
#include <optional>
#include <string_view>

namespace vorn {

class FolderChooser {
public:
    /// The dialog's confirm button.
    static constexpr std::string_view prompt = "Share This Folder";
    /// The dialog's explanation.
    static constexpr std::string_view message =
        "Pick your library folder. Subfolders are included. Disk images (.po, .hdv, .2mg), "
        "audio (.mp3, .wav, .pcm, ...), pictures (.jpg, .png, .shr)";

    virtual ~FolderChooser() = default;
    /// Lets the user pick one existing folder (directories only, one at a time), starting
    /// at `current` when it is not empty; absent when the user cancels.
    virtual std::optional<std::filesystem::path>
    chooseFolder(const std::filesystem::path& current) = 0;
};

} // namespace vorn
