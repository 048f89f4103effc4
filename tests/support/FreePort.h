#pragma once
// A port for a share under test, where the share's settings take no port 0.

#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vorn::test {

/// A port nothing listens on at the moment (the kernel's choice for a throw-away socket).
inline std::uint16_t freePort() {
    const int fd = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin6_port);
}

} // namespace vorn::test
