#pragma once
// One accepted TCP connection: reads a request head (and body), hands it to the share,
// writes the answer, then takes the next request or closes. One request at a time, in
// the order they came (RequestFramer tells where each ends); everything runs on the
// server's thread.

#include "server/Answer.h"
#include "server/BodyBudget.h"
#include "server/ConnectionEnds.h"
#include "server/RequestFramer.h"

#include <array>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vorn {

class Connection;

/// The side of the server a connection talks to.
class ConnectionOwner {
public:
    virtual ~ConnectionOwner() = default;
    /// Answers a request from its head when its body cannot change the answer; absent
    /// when the body is needed, which `handle` then gets whole. `bodyInHand`: the whole
    /// body came with the head, so nothing is saved by refusing before it.
    virtual std::optional<Answer> beforeBody(const Request& request, bool bodyInHand) = 0;
    /// Answers one complete request; `peer` is the address it came from.
    virtual Answer handle(const Request& request, std::string_view body,
                          const std::string& peer) = 0;
    /// The connection closed, by either side, for the reason given.
    virtual void closed(const Connection& connection, EndReason why) = 0;
};

class Connection : public std::enable_shared_from_this<Connection> {
public:
    /// `budget` bounds the bodies it holds, with those of the peer's other connections.
    Connection(asio::ip::tcp::socket socket, std::weak_ptr<ConnectionOwner> owner,
               std::shared_ptr<BodyBudget> budget);

    /// Starts reading the first request.
    void start();
    /// Closes the connection and tells the owner why; pending operations end quietly.
    /// Every end, the server's and the connection's own, comes through here.
    void end(EndReason why);
    /// Whether part of a request has arrived and nothing more since `since`. Between
    /// requests (and before the first) a connection is idle, and while it answers it is
    /// busy: neither is stalled.
    bool stalledSince(std::chrono::steady_clock::time_point since) const {
        return m_state == State::reading && m_framer.midRequest() && m_progress < since;
    }
    /// Whether a head began arriving before `since` and is still not whole.
    bool headBegunBefore(std::chrono::steady_clock::time_point since) const {
        return m_state == State::reading && m_headSince && *m_headSince < since;
    }

private:
    /// Where the connection is in its current request.
    enum class State {
        reading,   // a request arrives (the framer knows how far); idle while none has begun
        sending,   // the answer's bytes are going out
        streaming, // a large file answer goes out piece by piece
        closed,
    };
    /// What is known of the socket's receiving side. Apart from `State`: a read stays
    /// queued while an answer goes out, and a peer may stop sending at any step, yet
    /// still get the answer to a whole request.
    enum class Inflow {
        drained, // the last read took all there was; nothing queued
        queued,  // a read is waiting for data
        more,    // the last read filled its buffer: the socket may hold more
        ended,   // the peer closed its sending side
    };

    /// What one read takes in: a block write with its head fits.
    static constexpr std::size_t inboxSize = 2048;

    void doRead();
    void onRead(const asio::error_code& error, std::size_t n);

    void receive();
    /// One non-blocking read straight into the buffer, for requests larger than the inbox;
    /// false when the socket held nothing.
    bool readSome();
    /// Takes the framer one step; false when it needs more bytes.
    bool advance();
    void onHead();
    /// The answer refusing to hold the body, when it does not fit the budget.
    std::optional<Answer> holdBody();
    void onBody();
    void refuseFraming();
    void letGoOfBody();
    void noteHeadStart();
    void doSend(Answer answer);
    void onSent(const asio::error_code& error);
    void pumpFile();
    void onPumpReady(const asio::error_code& error);
    void finish();
    bool answering() const { return m_state == State::sending || m_state == State::streaming; }

    asio::ip::tcp::socket m_socket;
    std::weak_ptr<ConnectionOwner> m_owner;
    std::string m_peer; // the peer's address, IPv4 without its IPv6 mapping
    std::shared_ptr<BodyBudget> m_budget;
    State m_state = State::reading;
    Inflow m_inflow = Inflow::drained;
    std::array<char, inboxSize> m_inbox;              // where the queued read puts what arrives
    RequestFramer m_framer;                           // what arrived, and where its requests end
    std::chrono::steady_clock::time_point m_progress; // when request bytes last arrived
    std::optional<std::chrono::steady_clock::time_point> m_headSince; // a head's first byte
    std::uint64_t m_held = 0;      // what this connection took of the budget
    std::optional<Answer> m_early; // the answer given from the head: its body is skipped
    Answer m_answer;
};

} // namespace vorn
