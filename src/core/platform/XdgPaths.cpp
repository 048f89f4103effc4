#include "platform/XdgPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace vorn::XdgPaths {
namespace {

std::filesystem::path home() {
    if (const char* value = std::getenv("HOME"); value != nullptr && *value == '/') {
        return value;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/tmp";
}

// The variable when it holds an absolute path (relative ones are invalid and ignored).
std::filesystem::path base(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/') {
        return value;
    }
    return home() / fallback;
}

} // namespace

std::filesystem::path configDir() {
    return base("XDG_CONFIG_HOME", ".config") / "VornImageManager";
}

std::filesystem::path cacheDir() {
    return base("XDG_CACHE_HOME", ".cache") / "VornImageManager";
}

std::filesystem::path dataDir() {
    return base("XDG_DATA_HOME", ".local/share") / "VornImageManager";
}

} // namespace vorn::XdgPaths
