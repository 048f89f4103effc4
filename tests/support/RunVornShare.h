#pragma once
// Runs the built vorn-share as a child process, the way users and scripts meet it.

#include "support/Shell.h"

#include <string>
#include <vector>

namespace vorn::test {

// The command line, each argument quoted for the shell (none holds a quote).
inline std::string describe(const std::vector<std::string>& args) {
    std::string text = VORN_SHARE_PATH;
    for (const std::string& arg : args) {
        text += " '" + arg + "'";
    }
    return text;
}

inline Outcome vornShare(const std::vector<std::string>& args) {
    return shell(describe(args));
}

} // namespace vorn::test
