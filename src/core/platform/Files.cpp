#include "platform/Files.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace vorn::Files {

std::optional<std::uint64_t> size(const std::filesystem::path& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::uint64_t(info.st_size);
}

std::optional<Date> modified(const std::filesystem::path& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return Date(std::chrono::seconds(info.st_mtim.tv_sec)) +
           std::chrono::duration_cast<Date::duration>(
               std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

bool exists(const std::filesystem::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

void removeQuietly(const std::filesystem::path& path) {
    std::remove(path.c_str());
}

bool move(const std::filesystem::path& from, const std::filesystem::path& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<std::string> read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(bytes).str();
}

bool write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return bool(out);
}

} // namespace vorn::Files
