#include "convert/ConversionTools.h"

#include "platform/ChildProcess.h"
#include "platform/Text.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn {
namespace {

// Programs installed by hand or by a user-level package manager come before the system's.
const std::vector<std::string> kFixedPrefixes = {"/home/linuxbrew/.linuxbrew/bin/",
                                                 "/usr/local/bin/"};

std::vector<std::string> fixedCandidates(std::string_view name) {
    std::vector<std::string> list;
    for (const std::string& prefix : kFixedPrefixes) {
        list.push_back(prefix + std::string(name));
    }
    return list;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

std::vector<std::string> ConversionTools::pathCandidates(std::string_view name) {
    const char* path = std::getenv("PATH");
    return pathCandidates(name, path ? path : "");
}

std::vector<std::string> ConversionTools::pathCandidates(std::string_view name,
                                                         std::string_view path) {
    std::vector<std::string> list;
    for (const std::string& dir : Text::splitNonEmpty(path, ':')) {
        list.push_back(dir + "/" + std::string(name));
    }
    return list;
}

std::optional<std::string> ConversionTools::firstExecutable(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ConversionTools::findFFmpeg() {
    return firstExecutable(concat(fixedCandidates("ffmpeg"), pathCandidates("ffmpeg")));
}

std::optional<std::string> ConversionTools::findPackageManager() {
    return firstExecutable({"/usr/bin/apt-get"});
}

std::vector<std::string> ConversionTools::pythonCandidates() {
    return concat(fixedCandidates("python3"), pathCandidates("python3"));
}

std::optional<std::string> ConversionTools::findPythonBinary() {
    return firstExecutable(pythonCandidates());
}

bool ConversionTools::pythonHasModules(const std::string& interpreter,
                                       std::chrono::milliseconds limit) {
    const std::optional<ChildProcess::Outcome> outcome =
        ChildProcess::run(interpreter, {"-c", "import numpy, PIL"}, limit, nullptr);
    return outcome && *outcome == ChildProcess::Outcome{ChildProcess::Outcome::End::exited, 0};
}

std::optional<std::string> ConversionTools::findPythonWithModules(std::chrono::milliseconds limit) {
    for (const std::string& candidate : pythonCandidates()) {
        if (firstExecutable({candidate}) && pythonHasModules(candidate, limit)) {
            return candidate;
        }
    }
    return std::nullopt;
}

ConversionTools::Status ConversionTools::probe() {
    Status status;
    const std::optional<std::string> python = findPythonWithModules();
    status.packageManagerPath = findPackageManager();
    status.ffmpegPath = findFFmpeg();
    status.pythonPath = python ? python : findPythonBinary();
    status.picturesReady = python.has_value();
    return status;
}

} // namespace vorn
