#pragma once
// Runs the built vorn-share as a child process, the way users and scripts meet it.

#include "support/TempDir.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace vorn::test {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// The command line, each argument quoted for the shell (none holds a quote).
inline std::string describe(const std::vector<std::string>& args) {
    std::string text = VORN_SHARE_PATH;
    for (const std::string& arg : args) {
        text += " '" + arg + "'";
    }
    return text;
}

// Standard error goes to a file, so a chatty child can never block on a full pipe.
inline Outcome vornShare(const std::vector<std::string>& args) {
    TempDir capture;
    Outcome outcome;
    if (FILE* pipe = popen((describe(args) + " 2>" + (capture / "err").string()).c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            outcome.out.append(buffer, n);
        }
        const int status = pclose(pipe);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream in(capture / "err", std::ios::binary);
    outcome.err.assign(std::istreambuf_iterator<char>(in), {});
    return outcome;
}

} // namespace vorn::test
