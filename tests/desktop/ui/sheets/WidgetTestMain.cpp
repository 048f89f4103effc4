// The test program of the sheets: widgets need a QApplication. As for the model's tests,
// preferences and caches go to a fresh folder so that no test reads or changes the
// developer's own, and the offscreen platform is used when no other is asked for.

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorn-sheets-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const std::filesystem::path home(pattern);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    std::filesystem::create_directories(home / "runtime");
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    int result = 1;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
