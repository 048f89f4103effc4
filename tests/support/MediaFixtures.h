#pragma once
// What the conversion tests build for themselves: a scratch folder with a count of the
// conversions that reported success, stand-in converters as shell scripts, pictures drawn
// with Pillow and PATH set for a while.

#include "platform/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace vorn::test {

using Names = std::vector<std::string>;

/// A scratch folder, `counter()` callbacks that count finished conversions and `failures()`
/// callbacks that collect the log lines of failed ones.
class ConversionTest : public ::testing::Test {
protected:
    std::function<void()> counter() {
        return [this] { ++m_ready; };
    }
    std::function<void(const std::string&)> failures() {
        return [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_failed.push_back(line);
        };
    }
    /// The failure lines collected so far, which are forgotten.
    std::vector<std::string> takeFailures() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_failed, {});
    }
    TempDir m_dir;
    std::atomic<int> m_ready{0};

private:
    std::mutex m_mutex;
    std::vector<std::string> m_failed;
};

/// Whether the process `pid` still runs (a zombie, ended but not yet reaped, does not).
inline bool running(pid_t pid) {
    const std::string text = slurp("/proc/" + std::to_string(pid) + "/stat");
    const auto state = text.rfind(") ");
    return state != std::string::npos && state + 2 < text.size() && text[state + 2] != 'Z';
}

/// Whether the process `pid` has ended within two seconds. A signal to a process that the
/// caller does not wait for (one its child started) takes effect a moment later.
inline bool endsSoon(pid_t pid) {
    return eventually([pid] { return !running(pid); }, std::chrono::seconds(2));
}

/// Runs `body` with PATH set to `path` (or unset, for nullptr), then restores it.
inline void withPath(const char* path, const std::function<void()>& body) {
    const std::string old = std::getenv("PATH") ? std::getenv("PATH") : "";
    path ? setenv("PATH", path, 1) : unsetenv("PATH");
    body();
    setenv("PATH", old.c_str(), 1);
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

/// The blocked and ignored standard signals (1 to 31) in the text of a /proc/PID/status,
/// as "SigBlk 00004002, SigIgn 00000000". glibc's spawn leaves its own two internal
/// signals (32 and 33) ignored through exec; no converter uses them.
inline std::string standardSignals(const std::string& status) {
    const auto mask = [&](const std::string& key) {
        const auto at = status.find(key + ":\t");
        const unsigned long long bits =
            at == std::string::npos
                ? ~0ull
                : std::stoull(status.substr(at + key.size() + 2, 16), nullptr, 16);
        char text[32];
        std::snprintf(text, sizeof text, "%s %08llx", key.c_str(), bits & 0x7fffffffull);
        return std::string(text);
    };
    return mask("SigBlk") + ", " + mask("SigIgn");
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
