#include "server/LanIP.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(LanIPTest, PrivateIPv4Ranges) {
    for (const char* ip :
         {"10.0.0.7", "10.255.255.255", "172.16.0.1", "172.31.255.1", "192.168.0.2", "169.254.3.4",
          "127.0.0.1", "127.9.9.9", "10.0.0.1.x", ".10..0.0.1."}) {
        EXPECT_TRUE(LanIP::isPrivateIPv4(ip)) << ip;
    }
    for (const char* ip :
         {"172.15.0.1", "172.32.0.1", "8.8.8.8", "192.169.0.1", "169.253.0.1", "100.64.0.2",
          "11.0.0.1", "10.0.0", "10.0.0.256", "10.0.0.1.2", "-10.0.0.1", "", "::1", "fe80::1"}) {
        EXPECT_FALSE(LanIP::isPrivateIPv4(ip)) << ip;
    }
}

TEST(LanIPTest, OnlyLanPeersAreServed) {
    for (const char* peer :
         {"10.0.0.7", "172.31.255.1", "192.168.0.2", "169.254.3.4", "127.0.0.1", "::1",
          "fe80::1%en0", "fe80::abcd", "::ffff:192.168.1.9", "::ffff:127.0.0.1"}) {
        EXPECT_TRUE(LanIP::isLanPeer(peer)) << peer;
    }
    for (const char* peer : {"172.32.0.1", "8.8.8.8", "2001:db8::1", "::ffff:8.8.8.8", "FE80::1",
                             "::2", "fd00::2", "0:0:0:0:0:0:0:1", ""}) {
        EXPECT_FALSE(LanIP::isLanPeer(peer)) << peer;
    }
    EXPECT_EQ(LanIP::withoutScope("fe80::1%en0"), "fe80::1") << "the logged form has no scope";
    EXPECT_EQ(LanIP::withoutScope("8.8.8.8"), "8.8.8.8");
}

TEST(LanIPTest, PrimaryPrefersEthernetAndWifi) {
    using List = std::vector<InterfaceAddress>;
    EXPECT_EQ(LanIP::primary(List{{"en0", "192.168.1.20"}, {"bridge0", "10.0.0.1"}}),
              "192.168.1.20");
    EXPECT_EQ(LanIP::primary(List{{"bridge0", "10.0.0.1"}, {"en0", "192.168.1.20"}}),
              "192.168.1.20");
    EXPECT_EQ(LanIP::primary(List{{"docker0", "172.17.0.1"}, {"eth0", "192.168.1.5"}}),
              "192.168.1.5");
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
