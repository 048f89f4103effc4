#pragma once
// Runs a shell command to its end, the way the tests start the built program and the
// system's tools.

#include "support/TempDir.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace vorn::test {

struct Outcome {
    int status = -1; // the exit status; -1 when killed by a signal
    std::string out;
    std::string err;
};

// Standard error (of every part of the command) goes to a file, so a chatty child can
// never block on a full pipe.
inline Outcome shell(const std::string& command) {
    TempDir capture;
    Outcome outcome;
    const std::string braced = "{ " + command + "\n} 2>" + (capture / "err").string();
    if (FILE* pipe = popen(braced.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            outcome.out.append(buffer, n);
        }
        const int status = pclose(pipe);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    outcome.err = slurp(capture / "err");
    return outcome;
}

} // namespace vorn::test
