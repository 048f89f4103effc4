#include "server/LanIP.h"

#include "platform/Text.h"

#include <arpa/inet.h>
#include <array>
#include <charconv>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace vorn::LanIP {
namespace {

bool preferredInterface(std::string_view name) {
    return name.starts_with("en") || name.starts_with("eth") || name.starts_with("wl");
}

} // namespace

std::vector<InterfaceAddress> addresses() {
    std::vector<InterfaceAddress> list;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) {
        return list;
    }
    for (const ifaddrs* it = all; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET ||
            (it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        std::array<char, INET_ADDRSTRLEN> text{};
        const auto* address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, text.data(), text.size()) != nullptr) {
            list.push_back({it->ifa_name, text.data()});
        }
    }
    freeifaddrs(all);
    return list;
}

std::string primary() {
    return primary(addresses());
}

std::string primary(const std::vector<InterfaceAddress>& list) {
    const InterfaceAddress* firstPrivate = nullptr;
    for (const InterfaceAddress& entry : list) {
        if (!isPrivateIPv4(entry.ip)) {
            continue;
        }
        if (preferredInterface(entry.interface)) {
            return entry.ip;
        }
        firstPrivate = firstPrivate ? firstPrivate : &entry;
    }
    if (firstPrivate != nullptr) {
        return firstPrivate->ip;
    }
    return list.empty() ? "127.0.0.1" : list.front().ip;
}

bool isPrivateIPv4(std::string_view text) {
    std::vector<unsigned> numbers;
    for (const std::string& piece : Text::splitNonEmpty(text, '.')) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (ec == std::errc() && end == piece.data() + piece.size() && value <= 255) {
            numbers.push_back(value);
        }
    }
    if (numbers.size() != 4) {
        return false;
    }
    const unsigned a = numbers[0], b = numbers[1];
    return a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168) ||
           (a == 169 && b == 254) || a == 127;
}

std::string_view withoutScope(std::string_view hostText) {
    return hostText.substr(0, hostText.find('%'));
}

asio::ip::address unmapped(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address;
}

bool isLanPeer(const asio::ip::address& peer) {
    const asio::ip::address address = unmapped(peer);
    if (address.is_v4()) {
        const asio::ip::address_v4::bytes_type b = address.to_v4().to_bytes();
        return b[0] == 10 || (b[0] == 172 && b[1] >= 16 && b[1] <= 31) ||
               (b[0] == 192 && b[1] == 168) || (b[0] == 169 && b[1] == 254) || b[0] == 127;
    }
    // fe80::/16 rather than all of fe80::/10: link-local addresses in use are fe80::/64.
    const asio::ip::address_v6::bytes_type b = address.to_v6().to_bytes();
    return (b[0] == 0xfe && b[1] == 0x80) || address.is_loopback();
}

std::string peerText(const asio::ip::address& peer) {
    return std::string(withoutScope(unmapped(peer).to_string()));
}

} // namespace vorn::LanIP
