#pragma once
// A small library that the program makes itself, so that a newcomer has something to
// share before pointing it at real disk images.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorn::DemoLibrary {

/// Raised when the demo cannot be written; the message says why.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Writes the demo library into `dir`, which must not exist or be empty, and returns
/// the files written: two ProDOS volumes, a Disk II image, a PCM chime, a ready SHR
/// screen, a BMP to convert and, when `ffmpeg` (the program's path) is given, an MP3 to
/// convert. Nothing that already exists is overwritten.
std::vector<std::filesystem::path> write(const std::filesystem::path& dir,
                                         const std::optional<std::string>& ffmpeg);

} // namespace vorn::DemoLibrary
