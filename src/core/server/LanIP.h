#pragma once
// The machine's IPv4 addresses and the test that keeps the share on the local network.

#include <asio/ip/address.hpp>
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
/// IPv4 peers arrive on the dual-stack socket as ::ffff:a.b.c.d: the plain IPv4 address
/// for those, the address itself otherwise.
asio::ip::address unmapped(const asio::ip::address& address);
/// Whether a peer may use the share: a private IPv4 address (also IPv4-mapped), an IPv6
/// link-local address (fe80::/16) or ::1.
bool isLanPeer(const asio::ip::address& peer);
/// The address text as logged and tested: cut at the first "%".
std::string_view withoutScope(std::string_view hostText);
/// How a peer is known in the log and counted: unmapped, without a "%scope".
std::string peerText(const asio::ip::address& peer);

} // namespace LanIP
} // namespace vorn
