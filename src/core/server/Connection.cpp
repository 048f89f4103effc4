#include "server/Connection.h"

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
// A buffer that grew beyond this for a large body is given back once the body is handled,
// so idle connections stay small.
constexpr std::size_t kKeptBuffer = 16384;

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
    asio::ip::address address = socket.remote_endpoint(error).address();
    if (error) {
        return {};
    }
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return std::string(LanIP::withoutScope(address.to_string()));
}

} // namespace

Connection::Connection(asio::ip::tcp::socket socket, std::weak_ptr<ConnectionOwner> owner)
    : m_socket(std::move(socket)), m_owner(std::move(owner)), m_peer(peerAddress(m_socket)) {}

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
    m_buffer.append(m_inbox.data(), n);
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

// Moves the request along with what has arrived. After a read that filled its buffer the
// socket may hold more: read on at once, a few times, then let other connections have a
// turn. Otherwise the socket is empty and the queued read waits for the next data.
void Connection::receive() {
    for (int round = 0; m_state != State::closed && !answering(); ++round) {
        m_state == State::readingHead ? onHeadData() : onBodyData();
        if (m_state == State::closed || answering() || m_inflow == Inflow::queued) {
            return; // answering, or the answer went out at once and the next read is queued
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
    const std::size_t had = m_buffer.size();
    m_buffer.resize(had + Http::readLimit);
    asio::error_code error;
    const std::size_t n =
        m_socket.read_some(asio::buffer(m_buffer.data() + had, Http::readLimit), error);
    m_buffer.resize(had + n);
    m_inflow = n == Http::readLimit ? Inflow::more : Inflow::drained;
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

void Connection::onHeadData() {
    const std::size_t from = m_searched >= 3 ? m_searched - 3 : 0;
    const std::optional<std::size_t> headEnd = findHeadEnd(m_buffer, from);
    m_searched = m_buffer.size();
    if (!headEnd) {
        if (m_buffer.size() > Http::headLimit) {
            end(EndReason::headTooLarge);
        } else if (m_inflow == Inflow::ended) {
            end(m_buffer.empty() ? EndReason::peerClosed : EndReason::peerLeftMidRequest);
        }
        return;
    }
    m_request = Request::parse(std::string_view(m_buffer).substr(0, *headEnd));
    m_bodyLength = std::uint64_t(std::max<std::int64_t>(m_request->contentLength(), 0));
    m_buffer.erase(0, *headEnd + 4);
    m_state = State::readingBody;
    auto owner = m_owner.lock();
    if (!owner) {
        return; // the server is gone
    }
    // Most requests are answered here, before their body (if any) is read: the body is
    // then skipped as it arrives, so no refused write is ever held in memory.
    m_early = owner->beforeBody(*m_request, m_buffer.size() >= m_bodyLength);
    if (m_early) {
        m_state = State::skippingBody;
        if (m_early->close) {
            m_bodyLength = 0; // a body that cannot be framed: nothing after the head is read
        }
    }
    onBodyData();
}

void Connection::onBodyData() {
    if (m_state == State::skippingBody) {
        skipBody();
    } else if (m_buffer.size() >= m_bodyLength) {
        m_buffer.resize(m_bodyLength); // bytes past the body are dropped: no pipelining
        dispatch();
    } else if (m_bodyLength > maxBody) {
        end(EndReason::bodyTooLarge);
    } else if (m_inflow == Inflow::ended) {
        end(EndReason::peerLeftMidRequest);
    }
}

// The answer waits until the body has passed, so it stays one answer to one whole request
// on a connection that stays usable, and no unread body can turn a close into a reset
// that loses the answer. The card sends a block write in one packet: waiting costs it
// nothing.
void Connection::skipBody() {
    const auto n = std::size_t(std::min<std::uint64_t>(m_bodyLength, m_buffer.size()));
    m_buffer.erase(0, n);
    m_bodyLength -= n;
    if (m_bodyLength > 0) {
        if (m_inflow == Inflow::ended) {
            end(EndReason::peerLeftMidRequest);
        }
        return;
    }
    Answer answer = std::move(*m_early);
    m_early.reset();
    m_state = State::sending;
    releaseBuffer(); // bytes past the body are dropped: no pipelining
    doRead();
    doSend(std::move(answer));
}

void Connection::dispatch() {
    auto owner = m_owner.lock();
    if (!owner) {
        return; // the server is gone
    }
    m_state = State::sending;
    Answer answer = owner->handle(*m_request, m_buffer, m_peer);
    releaseBuffer();
    doRead(); // notice the peer's close or next request while answering
    doSend(std::move(answer));
}

void Connection::releaseBuffer() {
    if (m_buffer.capacity() > kKeptBuffer) {
        std::string().swap(m_buffer);
    } else {
        m_buffer.clear();
    }
}

void Connection::doSend(Answer answer) {
    m_answer = std::move(answer);
    if (m_answer.file && m_answer.length <= kInlineBody) {
        const std::size_t headBytes = m_answer.bytes.size();
        m_answer.bytes.resize(headBytes + m_answer.length);
        const ssize_t got = pread(m_answer.file->fd->get(), m_answer.bytes.data() + headBytes,
                                  m_answer.length, off_t(m_answer.offset));
        if (got != ssize_t(m_answer.length)) {
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
    // The only answers that close by themselves refuse a body the share cannot frame.
    std::optional<EndReason> close;
    if (m_answer.close) {
        close = EndReason::unframableBody;
    } else if (Http::wantsClose(*m_request)) {
        close = EndReason::askedToClose;
    }
    m_state = State::readingHead;
    m_request.reset();
    m_searched = 0;
    m_answer = Answer{};
    m_progress =
        std::chrono::steady_clock::now(); // bytes that came during the answer wait from now
    if (close) {
        end(*close);
        return;
    }
    if (m_inflow != Inflow::queued) {
        receive(); // bytes or the peer's close arrived while answering
    }
}

} // namespace vorn
