#include "platform/HostName.h"

#include "platform/Files.h"
#include "platform/Text.h"

#include <sstream>
#include <unistd.h>

namespace vorn {
namespace {

// machine-info is a shell-style file: KEY=value, the value possibly quoted.
std::string prettyHostName() {
    std::istringstream in(Files::read("/etc/machine-info").value_or(""));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with("PRETTY_HOSTNAME=")) {
            continue;
        }
        std::string value = line.substr(16);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(Text::trimBlanks(value));
    }
    return {};
}

} // namespace

std::string computerName() {
    if (std::string pretty = prettyHostName(); !pretty.empty()) {
        return pretty;
    }
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') {
        return name;
    }
    return "Linux";
}

} // namespace vorn
