#pragma once
// Finding the outside programs that convert audio (ffmpeg) and pictures (python3 with
// numpy and Pillow), and the commands that install them.

#include "convert/ConversionLimit.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

struct ConversionTools {
    /// What the machine has.
    struct Status {
        /// The system package manager (apt-get), if present.
        std::optional<std::string> packageManagerPath;
        std::optional<std::string> ffmpegPath;
        /// A python3 with numpy and Pillow if any has them, else the first python3 found.
        std::optional<std::string> pythonPath;
        /// Picture conversion can run.
        bool picturesReady = false;

        bool ffmpegReady() const { return ffmpegPath.has_value(); }
        bool operator==(const Status&) const = default;
    };

    static constexpr std::string_view packageManagerInstall = "sudo apt-get update";
    static constexpr std::string_view ffmpegInstall = "sudo apt-get install -y ffmpeg";
    static constexpr std::string_view pythonInstall =
        "sudo apt-get install -y python3 python3-numpy python3-pil";
    static constexpr std::string_view allInstall =
        "sudo apt-get install -y ffmpeg python3 python3-numpy python3-pil";

    /// Each directory of $PATH (empty ones dropped) followed by "/" + name.
    static std::vector<std::string> pathCandidates(std::string_view name);
    /// The same for an explicit PATH text.
    static std::vector<std::string> pathCandidates(std::string_view name, std::string_view path);
    /// The first path naming an executable file.
    static std::optional<std::string> firstExecutable(const std::vector<std::string>& paths);
    static std::optional<std::string> findFFmpeg();
    /// The package manager, standing where other systems look for their own.
    static std::optional<std::string> findPackageManager();
    static std::vector<std::string> pythonCandidates();
    static std::optional<std::string> findPythonBinary();
    /// Whether the interpreter starts and imports numpy and PIL (runs it, for at most
    /// `limit`: one that hangs on its imports has not got them).
    static bool pythonHasModules(const std::string& interpreter,
                                 std::chrono::milliseconds limit = ConversionLimit{}.base);
    static std::optional<std::string>
    findPythonWithModules(std::chrono::milliseconds limit = ConversionLimit{}.base);
    /// Looks at everything afresh.
    static Status probe();
};

} // namespace vorn
