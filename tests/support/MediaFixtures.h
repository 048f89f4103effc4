#pragma once
// What the conversion tests build for themselves: a scratch folder with a count of the
// conversions that reported success, stand-in converters as shell scripts, pictures drawn
// with Pillow and PATH set for a while.

#include "platform/ChildProcess.h"
#include "support/TempDir.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace vorn::test {

using Names = std::vector<std::string>;

/// A scratch folder, and `counter()` callbacks that count finished conversions.
class ConversionTest : public ::testing::Test {
protected:
    std::function<void()> counter() {
        return [this] { ++m_ready; };
    }
    TempDir m_dir;
    std::atomic<int> m_ready{0};
};

/// Runs `body` with PATH set to `path` (or unset, for nullptr), then restores it.
inline void withPath(const char* path, const std::function<void()>& body) {
    const std::string old = std::getenv("PATH") ? std::getenv("PATH") : "";
    path ? setenv("PATH", path, 1) : unsetenv("PATH");
    body();
    setenv("PATH", old.c_str(), 1);
}

/// The whole file, or an empty text when it cannot be read.
inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Writes a shell script and makes it executable.
inline std::filesystem::path writeScript(const std::filesystem::path& path,
                                         const std::string& body) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms(0755));
    return path;
}

/// The partial files in a cache folder: a failed or finished job must leave none.
inline Names partFiles(const std::filesystem::path& cache) {
    Names found;
    for (const auto& entry : std::filesystem::directory_iterator(cache)) {
        if (std::string name = entry.path().filename(); name.find(".part") != std::string::npos) {
            found.push_back(name);
        }
    }
    return found;
}

/// Has `python` (with Pillow) save a 64x40 picture, red on the left half and blue on the
/// right, in the format its extension names.
inline bool drawRedBlue(const std::string& python, const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    return ChildProcess::run(python, {"-c",
                                      "import sys; from PIL import Image\n"
                                      "im = Image.new('RGB', (64, 40), 'blue')\n"
                                      "im.paste('red', (0, 0, 32, 40)); im.save(sys.argv[1])",
                                      path.string()}) == 0;
}

} // namespace vorn::test
