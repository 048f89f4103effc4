#pragma once
// What the conversion tests build for themselves: pictures written byte by byte, stand-in
// converters as shell scripts, an environment variable set for one test, and bounded
// waits.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace vorn::test {

/// Sets (or with nullopt unsets) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name.c_str(), m_old->c_str(), 1);
        } else {
            unsetenv(m_name.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

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

/// An uncompressed 24-bit BMP; `colour(x, y)` gives 0xRRGGBB, top line first.
inline std::string bmp(int width, int height,
                       const std::function<std::uint32_t(int, int)>& colour) {
    const std::uint32_t stride = (std::uint32_t(width) * 3 + 3) & ~3u;
    const std::uint32_t size = stride * std::uint32_t(height);
    std::string out = "BM";
    // The file header, then the 40-byte information header (one plane and 24 bits share
    // a field), no compression, 72 dpi; every field little-endian.
    const std::uint32_t fields[] = {
        54 + size, 0,    54, 40, std::uint32_t(width), std::uint32_t(height), 1 | 24 << 16, 0, size,
        2835,      2835, 0,  0};
    for (const std::uint32_t field : fields) {
        out += {char(field & 0xFF), char(field >> 8 & 0xFF), char(field >> 16 & 0xFF),
                char(field >> 24)};
    }
    for (int y = height - 1; y >= 0; --y) { // bottom line first
        const std::size_t start = out.size();
        for (int x = 0; x < width; ++x) {
            const std::uint32_t rgb = colour(x, y);
            out += {char(rgb & 0xFF), char(rgb >> 8 & 0xFF), char(rgb >> 16 & 0xFF)};
        }
        out.resize(start + stride, '\0');
    }
    return out;
}

/// Polls `done` every 50 ms until it holds or `limit` has passed; whether it held.
inline bool waitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

} // namespace vorn::test
