#pragma once
// What keeps stuck and greedy peers from using up the share's descriptors. A card keeps
// one or two connections open and may be quiet for hours between requests: an idle
// connection is never ended, only a request that stopped arriving half-way.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vorn {

struct ConnectionLimits {
    /// A request whose head or body gains no byte for this long ends its connection.
    std::chrono::milliseconds stall = std::chrono::seconds(60);
    /// A head still not whole this long after its first byte ends its connection, however
    /// steadily it trickles in: a card sends its head in one packet.
    std::chrono::milliseconds headTime = std::chrono::seconds(30);
    /// The most one request's body may hold in memory (see BodyBudget).
    std::uint64_t bodyPerRequest = 4 << 20;
    /// The most the bodies of all the connections of one peer address may hold at once.
    std::uint64_t bodyPerPeer = 8 << 20;
    /// Connections one peer address may hold at once; more are closed unanswered.
    std::size_t perPeer = 16;
    /// Whether the cap counts peers on this machine too. Local tools, a proxy in front of
    /// the share and load tests open many connections from one loopback address, and a
    /// local process could take the descriptors another way anyway.
    bool capLoopback = false;
};

} // namespace vorn
