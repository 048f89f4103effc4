#pragma once

#include <string>

namespace vorn {

/// The computer's name as people know it: PRETTY_HOSTNAME of /etc/machine-info when set,
/// else the host name, else "Linux".
std::string computerName();

} // namespace vorn
