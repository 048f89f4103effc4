#include "platform/OpenFileLimit.h"

#include <fstream>
#include <sys/resource.h>

namespace vorn {
namespace {

// The most descriptors the kernel gives any process; an unlimited hard limit means this.
rlim_t kernelCeiling() {
    std::ifstream in("/proc/sys/fs/nr_open");
    rlim_t most = 0;
    return in >> most ? most : 1048576;
}

} // namespace

std::uint64_t raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 0;
    }
    const rlim_t most = limit.rlim_max == RLIM_INFINITY ? kernelCeiling() : limit.rlim_max;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= most) {
        return limit.rlim_cur;
    }
    const rlimit raised{most, limit.rlim_max};
    return setrlimit(RLIMIT_NOFILE, &raised) == 0 ? most : limit.rlim_cur;
}

} // namespace vorn
