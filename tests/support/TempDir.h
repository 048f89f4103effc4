#pragma once
// A private folder below the system's temporary folder, removed with everything in it
// when the test ends, so that each test builds its library from nothing; and the small
// file helpers the tests share.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace vorn::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vorn-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    /// The folder itself.
    const std::filesystem::path& path() const { return m_path; }
    /// `relative` below the folder.
    std::filesystem::path operator/(const std::string& relative) const { return m_path / relative; }

    /// Writes `bytes` to `relative`, creating the folders on the way.
    std::filesystem::path write(const std::string& relative, const std::string& bytes) const {
        const std::filesystem::path file = m_path / relative;
        std::filesystem::create_directories(file.parent_path());
        if (!(std::ofstream(file, std::ios::binary) << bytes)) {
            throw std::runtime_error("cannot write " + file.string());
        }
        return file;
    }
    /// Creates the folder `relative` and its parents.
    std::filesystem::path mkdir(const std::string& relative) const {
        std::filesystem::create_directories(m_path / relative);
        return m_path / relative;
    }
    /// A symbolic link at `relative` pointing to `target`.
    std::filesystem::path link(const std::string& relative,
                               const std::filesystem::path& target) const {
        std::filesystem::create_directories((m_path / relative).parent_path());
        std::filesystem::create_symlink(target, m_path / relative);
        return m_path / relative;
    }

private:
    std::filesystem::path m_path;
};

/// The whole file, or an empty text when it cannot be read.
inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The names in a folder, sorted.
inline std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// `size` bytes in which no byte equals its neighbour and no stretch of 256 repeats
/// another nearby, so that a block read or written at the wrong offset shows.
inline std::string pattern(std::uint64_t size, unsigned seed = 0) {
    std::string bytes(size, '\0');
    for (std::uint64_t i = 0; i < size; ++i) {
        bytes[i] = char((i * 31 + i / 509 + seed) & 0xFF);
    }
    return bytes;
}

} // namespace vorn::test
