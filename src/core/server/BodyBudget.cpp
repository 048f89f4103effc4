#include "server/BodyBudget.h"

#include <algorithm>

namespace vorn {

std::optional<int> BodyBudget::take(const std::string& peer, std::uint64_t bytes) {
    if (bytes > m_perRequest) {
        return 413;
    }
    std::uint64_t& held = m_held[peer];
    if (bytes > m_perPeer - std::min(held, m_perPeer)) {
        if (held == 0) {
            m_held.erase(peer);
        }
        return 503;
    }
    held += bytes;
    return std::nullopt;
}

void BodyBudget::give(const std::string& peer, std::uint64_t bytes) {
    const auto it = m_held.find(peer);
    if (it == m_held.end()) {
        return;
    }
    it->second -= std::min(it->second, bytes);
    if (it->second == 0) {
        m_held.erase(it);
    }
}

std::uint64_t BodyBudget::held(const std::string& peer) const {
    const auto it = m_held.find(peer);
    return it == m_held.end() ? 0 : it->second;
}

} // namespace vorn
