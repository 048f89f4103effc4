#pragma once
// Why connections ended, counted in the status: a card that keeps losing its connection
// shows which side gave up, and at which step of a request.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vorn {

enum class EndReason : std::uint8_t {
    peerClosed,         ///< the peer closed between requests: the usual end
    peerLeftMidRequest, ///< the peer stopped sending with a request half-sent
    readError,          ///< receiving failed: a reset, or a peer that stopped answering probes
    writeError,         ///< sending an answer failed: the peer left or stopped taking data
    headTooLarge,       ///< a head grew past its limit without ending
    unframableBody,     ///< a request that cannot be framed was refused, and the connection too
    fileReadError,      ///< a file being served could not be read whole
    stalled,            ///< a request stopped arriving half-way for longer than the limit
    slowHead,           ///< a head took longer than its limit to arrive whole
    askedToClose,       ///< the request asked for "Connection: close"
    serverStopping,     ///< the share stopped
};

inline constexpr std::size_t endReasonCount = std::size_t(EndReason::serverStopping) + 1;

/// The reason as a status display shows it: "peer closed", "stalled"...
constexpr std::string_view describe(EndReason why) {
    constexpr std::array<std::string_view, endReasonCount> names{
        "peer closed",    "peer left mid-request", "read error",      "write error",
        "head too large", "unframable body",       "file read error", "stalled",
        "slow head",      "asked to close",        "server stopping",
    };
    return names[std::size_t(why)];
}

/// How many connections ended for each reason. A fixed array: the status is copied after
/// every request.
class ConnectionEnds {
public:
    void count(EndReason why) { ++m_counts[std::size_t(why)]; }
    std::uint64_t operator[](EndReason why) const { return m_counts[std::size_t(why)]; }

    bool operator==(const ConnectionEnds&) const = default;

private:
    std::array<std::uint64_t, endReasonCount> m_counts{};
};

} // namespace vorn
