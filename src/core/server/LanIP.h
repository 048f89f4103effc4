#pragma once
// The machine's IPv4 addresses and the test that keeps the share on the local network.

#include <string>
#include <string_view>
#include <vector>

namespace vorn {

/// One IPv4 address of an interface that is up and not loopback.
struct InterfaceAddress {
    std::string interface;
    std::string ip;
    bool operator==(const InterfaceAddress&) const = default;
};

namespace LanIP {

/// Up, non-loopback IPv4 addresses in the system's order; empty when unreadable.
std::vector<InterfaceAddress> addresses();
/// The address to show in share URLs: `primary(addresses())`.
std::string primary();
/// The first private address on an Ethernet or Wi-Fi interface (en*, eth*, wl*), else
/// the first private one, else the first one, else "127.0.0.1".
std::string primary(const std::vector<InterfaceAddress>& list);
/// 10/8, 172.16/12, 192.168/16, 169.254/16 and 127/8 in dotted form.
bool isPrivateIPv4(std::string_view text);
/// Whether a peer with this address text may use the share: private IPv4 (also
/// IPv4-mapped), IPv6 link-local (fe80...) or ::1. A "%scope" suffix is ignored.
bool isLanPeer(std::string_view hostText);
/// The address text as logged and tested: cut at the first "%".
std::string_view withoutScope(std::string_view hostText);

} // namespace LanIP
} // namespace vorn
