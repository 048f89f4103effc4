// The test program of the desktop model and window. Text is measured with real fonts, so a
// QGuiApplication exists for the whole run (on the offscreen platform unless the caller
// asks for another); preferences, caches and versions go to a fresh folder so that no
// test reads or changes the developer's own.

#include <QGuiApplication>
#ifdef VORN_TEST_WIDGETS
#include <QApplication>
#endif
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorn-desktop-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const std::filesystem::path home(pattern);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    std::filesystem::create_directories(home / "runtime");
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    // The offscreen platform for ctest, a plain run and the test listing at build time,
    // none of which need a display; a developer may still ask for a real one.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    int result = 1;
    {
#ifdef VORN_TEST_WIDGETS
        QApplication app(argc, argv); // the window's tests need widgets
#else
        QGuiApplication app(argc, argv);
#endif
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
