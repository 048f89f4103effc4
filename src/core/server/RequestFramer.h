#pragma once
// Where each request begins and ends in the bytes of one connection, with no socket in
// sight: the connection pours in what it receives and asks `next` what that makes. A head
// is checked strictly before its length is believed, because a body framed wrongly is
// written into an image and the rest of it taken for the next request: a length that is
// not one plain number, two lengths that disagree, a field name with a blank before its
// colon, a line ended by LF alone are refused (400), as is a PUT without a length (411)
// and any transfer coding (411), and the connection then ends. Requests that arrive
// together (pipelined) are taken one after the other, each once the one before it is done.

#include "server/Http.h"
#include "server/Request.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vorn {

class RequestFramer {
public:
    enum class Step {
        needMore, ///< no whole head yet, or not yet the whole body
        head,     ///< a head is complete: see `request` and `bodyLength`
        body,     ///< the body is complete (`body`), or was skipped to its end
        error,    ///< the bytes cannot be framed: see `errorStatus`
    };

    explicit RequestFramer(std::size_t headLimit = Http::headLimit) : m_headLimit(headLimit) {}

    /// Adds received bytes.
    void append(std::string_view bytes) { m_buffer.append(bytes); }
    /// Room for at most `most` more bytes at the end, to receive straight into; `received`
    /// then keeps the `got` of them that arrived. While a body is held the room ends with
    /// it, so the buffer never outgrows the body it was sized for.
    std::span<char> room(std::size_t most);
    void received(std::size_t got);

    /// What the bytes so far make. After `head`, call `holdBody` or `skipBody`; after
    /// `body`, `done` once the request is answered.
    Step next();

    /// The last head found; a head that failed its checks is parsed as far as it goes.
    const Request& request() const { return m_request; }
    std::uint64_t bodyLength() const { return m_bodyLength; }
    /// Whether the whole body came with the head.
    bool bodyInHand() const { return m_buffer.size() - m_bodyStart >= m_bodyLength; }
    /// Keeps the body as it arrives, in one buffer with room for all of it.
    void holdBody();
    /// Drops the body as it arrives: the request was answered from its head.
    void skipBody();
    /// The held body, after a `body` step.
    std::string_view body() const {
        return std::string_view(m_buffer).substr(m_bodyStart, m_bodyLength);
    }
    /// The status to answer an `error` with: 400 or 411; 0 when the head outgrew its limit
    /// and the connection just ends.
    int errorStatus() const { return m_error; }
    /// The request was answered: its bytes go, and those after it begin the next head.
    void done();

    /// Whether part of a request has arrived, and it is not done yet.
    bool midRequest() const { return m_phase != Phase::head || !m_buffer.empty(); }
    /// Whether part of a head has arrived, but not the whole of it.
    bool inHead() const { return m_phase == Phase::head && !m_buffer.empty(); }

private:
    enum class Phase { head, body, skip, done, failed };

    Step findHead();
    Step fail(int status);
    /// 0 when the head frames its body, else the status refusing it; sets `m_bodyLength`.
    int checkHead(std::string_view head);
    int checkField(std::string_view line, bool& lengthSeen, bool& coded);

    std::size_t m_headLimit;
    std::string m_buffer;
    std::size_t m_room = 0;      // where the bytes `room` made space for begin
    std::size_t m_searched = 0;  // where the search for the blank line goes on
    std::size_t m_bodyStart = 0; // the body's first byte in `m_buffer`
    Phase m_phase = Phase::head;
    Request m_request;
    std::uint64_t m_bodyLength = 0;
    int m_error = 0;
};

} // namespace vorn
