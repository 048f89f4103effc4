#pragma once
// What keeps stuck and greedy peers from using up the share's descriptors. A card keeps
// one or two connections open and may be quiet for hours between requests: an idle
// connection is never ended, only a request that stopped arriving half-way.

#include <chrono>
#include <cstddef>

namespace vorn {

struct ConnectionLimits {
    /// A request whose head or body gains no byte for this long ends its connection.
    std::chrono::milliseconds stall = std::chrono::seconds(60);
    /// Connections one peer address may hold at once; more are closed unanswered.
    std::size_t perPeer = 16;
    /// Whether the cap counts peers on this machine too. Local tools, a proxy in front of
    /// the share and load tests open many connections from one loopback address, and a
    /// local process could take the descriptors another way anyway.
    bool capLoopback = false;
};

} // namespace vorn
