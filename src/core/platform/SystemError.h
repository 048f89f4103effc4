#pragma once
// The reason a system call failed, as the error_code the file plumbing returns.

#include <cerrno>
#include <system_error>

namespace vorn {

/// What errno says now: read it right after the call that failed, before another may
/// change it.
inline std::error_code lastSystemError() {
    return {errno, std::generic_category()};
}

} // namespace vorn
