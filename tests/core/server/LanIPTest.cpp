#include "server/LanIP.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

// A LAN peer is a private IPv4 address (also as the dual-stack socket shows it, mapped),
// fe80:: link-local or ::1; interface texts count as private by the same IPv4 rule.
TEST(LanIPTest, OnlyLanPeersAreServed) {
    for (const char* peer : {"10.0.0.7", "172.16.0.1", "172.31.255.1", "192.168.0.2", "169.254.3.4",
                             "127.0.0.1", "::1", "fe80::1%1", "fe80::abcd", "::ffff:192.168.1.9",
                             "::ffff:127.0.0.1", "0:0:0:0:0:0:0:1"}) {
        EXPECT_TRUE(LanIP::isLanPeer(asio::ip::make_address(peer))) << peer;
    }
    for (const char* peer : {"172.15.0.1", "172.32.0.1", "8.8.8.8", "192.169.0.1", "169.253.0.1",
                             "100.64.0.2", "2001:db8::1", "::ffff:8.8.8.8", "::2", "fd00::2",
                             "fe81::1", "::10.0.0.1"}) {
        EXPECT_FALSE(LanIP::isLanPeer(asio::ip::make_address(peer))) << peer;
    }
    for (const char* text : {"10.0.0.7", "172.31.255.1", "127.0.0.1", "10.0.0.1.x"}) {
        EXPECT_TRUE(LanIP::isPrivateIPv4(text)) << text;
    }
    for (const char* text : {"8.8.8.8", "10.0.0", "10.0.0.256", "10.0.0.1.2", "-10.0.0.1", "",
                             "::1"}) {
        EXPECT_FALSE(LanIP::isPrivateIPv4(text)) << text;
    }
    EXPECT_EQ(LanIP::peerText(asio::ip::make_address("::ffff:10.0.0.7")), "10.0.0.7");
    EXPECT_EQ(LanIP::withoutScope("fe80::1%en0"), "fe80::1") << "the logged form has no scope";
}

TEST(LanIPTest, PrimaryPrefersEthernetAndWifi) {
    using List = std::vector<InterfaceAddress>;
    EXPECT_EQ(LanIP::primary(List{{"bridge0", "10.0.0.1"}, {"en0", "192.168.1.20"}}),
              "192.168.1.20");
    EXPECT_EQ(LanIP::primary(List{{"docker0", "172.17.0.1"}, {"wlp2s0", "10.1.2.3"}}), "10.1.2.3");
    EXPECT_EQ(LanIP::primary(List{{"eth0", "8.8.4.4"}, {"docker0", "172.17.0.1"}}), "172.17.0.1")
        << "a private address wins over a preferred name";
    EXPECT_EQ(LanIP::primary(List{{"utun3", "100.64.0.2"}}), "100.64.0.2");
    EXPECT_EQ(LanIP::primary(List{}), "127.0.0.1");
    for (const InterfaceAddress& entry : LanIP::addresses()) {
        EXPECT_NE(entry.ip.rfind("127.", 0), 0u) << entry.interface << " is a loopback address";
    }
}

} // namespace
} // namespace vorn
