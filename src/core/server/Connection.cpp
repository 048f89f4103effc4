#include "server/Connection.h"

#include "server/DiskIO.h"
#include "server/Http.h"
#include "server/LanIP.h"

#include <asio/post.hpp>
#include <asio/write.hpp>
#include <csignal>
#include <pthread.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace vorn {
namespace {

// Answers up to this size are read into the head's buffer and sent with one write;
// larger ones go out piece by piece straight from the file.
constexpr std::uint64_t kInlineBody = 65536;
constexpr std::size_t kPiece = 262144;

// A peer that leaves in the middle of a file makes the next sendfile raise SIGPIPE, which
// would end the whole program: socket sends pass MSG_NOSIGNAL, sendfile cannot. The
// server's thread keeps the signal blocked, so the call just fails with EPIPE.
void blockBrokenPipe() {
    static thread_local const bool blocked = [] {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        return pthread_sigmask(SIG_BLOCK, &pipe, nullptr) == 0;
    }();
    (void)blocked;
}

// The address a peer is known by in the log: one card is one address, whatever port
// each of its connections comes from.
std::string peerAddress(const asio::ip::tcp::socket& socket) {
    asio::error_code error;
    const asio::ip::address address = socket.remote_endpoint(error).address();
    return error ? std::string() : LanIP::peerText(address);
}

} // namespace

Connection::Connection(asio::ip::tcp::socket socket, std::weak_ptr<ConnectionOwner> owner,
                       std::shared_ptr<BodyBudget> budget)
    : m_socket(std::move(socket)), m_owner(std::move(owner)), m_peer(peerAddress(m_socket)),
      m_budget(std::move(budget)) {}

void Connection::start() {
    blockBrokenPipe();
    asio::error_code ignored;
    m_socket.non_blocking(true, ignored);
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    doRead();
}

void Connection::end(EndReason why) {
    if (m_state == State::closed) {
        return;
    }
    m_state = State::closed;
    letGoOfBody();
    asio::error_code ignored;
    m_socket.close(ignored);
    if (auto owner = m_owner.lock()) {
        owner->closed(*this, why);
    }
}

// One read is kept queued while the connection is idle and while it answers, so the next
// request or the peer's close is seen at once. A queued read costs nothing until data
// arrives, and the reactor's read is then the request's only receive call; a readiness
// wait instead would re-arm epoll (one more system call) on every request.
void Connection::doRead() {
    if (m_inflow == Inflow::queued || m_inflow == Inflow::ended || m_state == State::closed) {
        return;
    }
    m_inflow = Inflow::queued;
    m_socket.async_read_some(asio::buffer(m_inbox), [self = shared_from_this()](
                                                        const asio::error_code& error,
                                                        std::size_t n) { self->onRead(error, n); });
}

void Connection::onRead(const asio::error_code& error, std::size_t n) {
    if (m_state == State::closed) {
        return; // operation_aborted: the connection was ended meanwhile
    }
    m_framer.append(std::string_view(m_inbox.data(), n));
    if (n > 0) {
        m_progress = std::chrono::steady_clock::now();
    }
    if (error == asio::error::eof) {
        m_inflow = Inflow::ended;
    } else if (error) {
        end(EndReason::readError);
        return;
    } else {
        m_inflow = n == m_inbox.size() ? Inflow::more : Inflow::drained;
    }
    if (!answering()) {
        receive(); // otherwise it waits in the buffer until the answer is out
    }
}

// Moves the requests along with what has arrived. After a read that filled its buffer the
// socket may hold more: read on at once, a few times, then let other connections have a
// turn. Otherwise the socket is empty and the queued read waits for the next data.
void Connection::receive() {
    for (int round = 0; m_state == State::reading; ++round) {
        while (m_state == State::reading && advance()) {
        }
        if (m_state != State::reading) {
            return; // answering, or closed
        }
        noteHeadStart();
        if (m_inflow == Inflow::ended) {
            end(m_framer.midRequest() ? EndReason::peerLeftMidRequest : EndReason::peerClosed);
            return;
        }
        if (m_inflow == Inflow::queued) {
            return;
        }
        if (m_inflow != Inflow::more) {
            doRead();
            return;
        }
        if (round == 4) {
            asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->receive(); });
            return;
        }
        if (!readSome()) {
            doRead();
            return;
        }
    }
}

bool Connection::readSome() {
    const std::span<char> into = m_framer.room(Http::readLimit);
    asio::error_code error;
    const std::size_t n = m_socket.read_some(asio::buffer(into.data(), into.size()), error);
    m_framer.received(n);
    m_inflow = n == into.size() ? Inflow::more : Inflow::drained;
    if (n > 0) {
        m_progress = std::chrono::steady_clock::now();
    }
    if (error == asio::error::would_block || error == asio::error::try_again) {
        return false;
    }
    if (error == asio::error::eof) {
        m_inflow = Inflow::ended;
    } else if (error) {
        end(EndReason::readError);
    }
    return true;
}

bool Connection::advance() {
    switch (m_framer.next()) {
    case RequestFramer::Step::needMore:
        return false;
    case RequestFramer::Step::head:
        onHead();
        break;
    case RequestFramer::Step::body:
        onBody();
        break;
    case RequestFramer::Step::error:
        refuseFraming();
        break;
    }
    return true;
}

// A head began arriving: from then on it has a time limit, however it trickles in.
void Connection::noteHeadStart() {
    if (!m_framer.inHead()) {
        m_headSince.reset();
    } else if (!m_headSince) {
        m_headSince = std::chrono::steady_clock::now();
    }
}

void Connection::onHead() {
    m_headSince.reset();
    auto owner = m_owner.lock();
    if (!owner) {
        end(EndReason::serverStopping);
        return;
    }
    // Most requests are answered here, before their body (if any) is read: the body is
    // then skipped as it arrives, so no refused write is ever held in memory.
    m_early = owner->beforeBody(m_framer.request(), m_framer.bodyInHand());
    if (!m_early) {
        m_early = holdBody();
    }
    if (m_early) {
        m_framer.skipBody();
    }
}

std::optional<Answer> Connection::holdBody() {
    const std::uint64_t length = m_framer.bodyLength();
    if (length == 0) {
        return std::nullopt;
    }
    if (const std::optional<int> refused = m_budget->take(m_peer, length)) {
        Answer refusal;
        refusal.bytes = Http::answer(m_framer.request(), *refused, "text/plain", "");
        return refusal;
    }
    m_held = length;
    m_framer.holdBody();
    return std::nullopt;
}

void Connection::letGoOfBody() {
    if (m_held > 0) {
        m_budget->give(m_peer, m_held);
        m_held = 0;
    }
}

// The answer given from the head waits until the body has passed, so it stays one answer
// to one whole request on a connection that stays usable, and no unread body can turn a
// close into a reset that loses the answer. The card sends a block write in one packet:
// waiting costs it nothing.
void Connection::onBody() {
    Answer answer;
    if (m_early) {
        answer = std::move(*m_early);
        m_early.reset();
    } else if (auto owner = m_owner.lock()) {
        answer = owner->handle(m_framer.request(), m_framer.body(), m_peer);
    } else {
        end(EndReason::serverStopping);
        return;
    }
    m_state = State::sending;
    letGoOfBody();
    m_framer.done(); // bytes past the body stay: they begin the next request
    doRead();        // notice the peer's close or next request while answering
    doSend(std::move(answer));
}

// Bytes that cannot be framed leave the connection's next bytes unknown: the request is
// refused and the connection ends. A head that outgrew its limit just ends it.
void Connection::refuseFraming() {
    const int status = m_framer.errorStatus();
    if (status == 0) {
        end(EndReason::headTooLarge);
        return;
    }
    m_state = State::sending;
    Answer refusal;
    refusal.bytes = Http::closingAnswer(m_framer.request(), status);
    refusal.close = true;
    doSend(std::move(refusal));
}

void Connection::doSend(Answer answer) {
    m_answer = std::move(answer);
    // A disk in DOS sector order cannot go out through sendfile in one piece; at 140 KB it
    // is put together here, never more than the range asked for.
    if (m_answer.file && (m_answer.length <= kInlineBody || m_answer.dosOrder)) {
        const std::size_t headBytes = m_answer.bytes.size();
        m_answer.bytes.resize(headBytes + m_answer.length);
        if (!DiskIO::readBody(m_answer, m_answer.bytes.data() + headBytes)) {
            // A read error or a file that shrank: the card sees a short answer.
            end(EndReason::fileReadError);
            return;
        }
        m_answer.file.reset();
    }
    // Most answers fit the socket's send buffer: one send, and the connection is ready for
    // the next request without another turn of the event loop.
    asio::error_code error;
    const std::size_t sent = m_socket.write_some(asio::buffer(m_answer.bytes), error);
    if (error && error != asio::error::would_block && error != asio::error::try_again) {
        end(EndReason::writeError);
        return;
    }
    if (sent == m_answer.bytes.size()) {
        onSent(asio::error_code());
        return;
    }
    asio::async_write(m_socket, asio::buffer(m_answer.bytes) + sent,
                      [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                          self->onSent(error);
                      });
}

void Connection::onSent(const asio::error_code& error) {
    if (m_state == State::closed) {
        return; // operation_aborted: the connection was ended meanwhile
    }
    if (error) {
        end(EndReason::writeError);
        return;
    }
    if (m_answer.file) {
        m_state = State::streaming;
        pumpFile();
        return;
    }
    finish();
}

// Sends the next piece of a file answer straight from the file; one piece per turn of
// the server's thread, so several transfers interleave.
void Connection::pumpFile() {
    if (m_state == State::closed) {
        return;
    }
    if (m_answer.length == 0) {
        m_answer.file.reset();
        finish();
        return;
    }
    off_t offset = off_t(m_answer.offset);
    const ssize_t sent = sendfile(m_socket.native_handle(), m_answer.file->fd->get(), &offset,
                                  std::size_t(std::min<std::uint64_t>(m_answer.length, kPiece)));
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        m_socket.async_wait(
            asio::socket_base::wait_write,
            [self = shared_from_this()](const asio::error_code& e) { self->onPumpReady(e); });
        return;
    }
    if (sent == 0 || (sent < 0 && errno == EIO)) {
        end(EndReason::fileReadError); // the file ended early, or could not be read
        return;
    }
    if (sent < 0) {
        end(EndReason::writeError);
        return;
    }
    m_answer.offset += std::uint64_t(sent);
    m_answer.length -= std::uint64_t(sent);
    asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->pumpFile(); });
}

void Connection::onPumpReady(const asio::error_code& error) {
    if (m_state == State::closed) {
        return; // operation_aborted: the connection was ended meanwhile
    }
    if (error) {
        end(EndReason::writeError);
        return;
    }
    pumpFile();
}

void Connection::finish() {
    // The only answers that close by themselves refuse bytes the share cannot frame.
    std::optional<EndReason> close;
    if (m_answer.close) {
        close = EndReason::unframableBody;
    } else if (Http::wantsClose(m_framer.request())) {
        close = EndReason::askedToClose;
    }
    m_state = State::reading;
    m_answer = Answer{};
    m_progress =
        std::chrono::steady_clock::now(); // bytes that came during the answer wait from now
    if (close) {
        end(*close);
        return;
    }
    // Bytes or the peer's close arrived while answering: taken on the next turn, so a
    // run of pipelined requests does not nest one answer inside another.
    if (m_framer.midRequest() || m_inflow != Inflow::queued) {
        asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->receive(); });
    }
}

} // namespace vorn
