#include "SnapshotCommand.h"

#include "library/DiskImage.h"
#include "versions/DatedCopy.h"

#include <chrono>
#include <filesystem>
#include <iostream>

namespace vorn::SnapshotCommand {
namespace {

constexpr int kBadInput = 2;

// Why `image` is no disk image the share would list; empty when it is one.
std::string refusal(const std::filesystem::path& image) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(image, ec);
    if (!std::filesystem::exists(status)) {
        return "no such file: " + image.string();
    }
    if (!std::filesystem::is_regular_file(status)) {
        return "not a file: " + image.string();
    }
    if (!DiskImage::probe(image, {})) {
        return "not a disk image the share lists: " + image.string();
    }
    return {};
}

} // namespace

int run(const std::string& image) {
    if (const std::string why = refusal(image); !why.empty()) {
        std::cerr << "vorn-share: " << why << "\n";
        return kBadInput;
    }
    std::error_code error;
    const std::filesystem::path copy =
        DatedCopy::make(image, [] { return std::chrono::system_clock::now(); }, error);
    if (copy.empty()) {
        std::cerr << "vorn-share: cannot copy " << image << ": " << error.message() << "\n";
        return 1;
    }
    std::cout << "wrote " << copy.string() << "\n";
    return 0;
}

} // namespace vorn::SnapshotCommand
