#include "server/WriterWatch.h"

#include <algorithm>

namespace vorn {

std::optional<std::string> WriterWatch::noteWrite(const std::string& image, const std::string& peer,
                                                  Clock::time_point now) {
    if (peer.empty()) {
        return std::nullopt;
    }
    Writes& writes = m_images[image];
    auto& peers = writes.lastByPeer;
    std::erase_if(peers, [&](const auto& last) {
        return last.first == peer || now - last.second > together;
    });
    std::optional<std::string> warning;
    if (!peers.empty() && (!writes.warned || now - *writes.warned >= quiet)) {
        writes.warned = now;
        warning =
            "warning: two cards writing " + image + ": " + peers.back().first + " and " + peer;
    }
    peers.emplace_back(peer, now);
    return warning;
}

} // namespace vorn
