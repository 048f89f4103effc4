#pragma once
// How much of the share's memory request bodies may take. A body is held whole until its
// write is done, so without a bound sixteen connections each sending a hard disk image
// would hold half a gigabyte. A card writes 512-byte blocks, one at a time: one request
// may hold a few megabytes, and all the connections of one peer address together a few
// more. A body over either bound is refused from its head (413, 503) and skipped as it
// arrives, never held. Lives on the server's thread.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace vorn {

class BodyBudget {
public:
    BodyBudget(std::uint64_t perRequest, std::uint64_t perPeer)
        : m_perRequest(perRequest), m_perPeer(perPeer) {}

    void setLimits(std::uint64_t perRequest, std::uint64_t perPeer) {
        m_perRequest = perRequest;
        m_perPeer = perPeer;
    }
    /// Takes `bytes` for a body from `peer`; the status refusing it when it does not fit:
    /// 413 for a body larger than one request may hold, 503 while the peer holds too much.
    std::optional<int> take(const std::string& peer, std::uint64_t bytes);
    /// Gives back what `take` took, once the body is done with.
    void give(const std::string& peer, std::uint64_t bytes);
    /// What `peer` holds now.
    std::uint64_t held(const std::string& peer) const;

private:
    std::uint64_t m_perRequest;
    std::uint64_t m_perPeer;
    std::unordered_map<std::string, std::uint64_t> m_held;
};

} // namespace vorn
