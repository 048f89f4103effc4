// The test program of the conversion side. The caches and the preferences follow
// $XDG_CACHE_HOME and $XDG_CONFIG_HOME, and the program reads each once, the first time
// it needs it. Both point at a fresh folder before any test runs, so that no test sees
// conversions or knobs from the developer's own session, nor leaves any behind.

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorn-media-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const std::filesystem::path home(pattern);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
