#include "server/Connection.h"

#include "server/Http.h"

#include <asio/post.hpp>
#include <asio/write.hpp>
#include <sys/sendfile.h>
#include <unistd.h>

namespace vorn {
namespace {

// Answers up to this size are read into the head's buffer and sent with one write;
// larger ones go out piece by piece straight from the file.
constexpr std::uint64_t kInlineBody = 65536;
constexpr std::size_t kPiece = 262144;

} // namespace

Connection::Connection(asio::ip::tcp::socket socket, std::weak_ptr<ConnectionOwner> owner)
    : m_socket(std::move(socket)), m_owner(std::move(owner)) {}

void Connection::start() {
    asio::error_code ignored;
    m_socket.non_blocking(true, ignored);
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    receive();
}

void Connection::cancel() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    asio::error_code ignored;
    m_socket.close(ignored);
    if (auto owner = m_owner.lock()) {
        owner->closed(this);
    }
}

// Readiness is awaited with one wait kept queued at all times while idle, so the reactor
// can never see new data while nobody listens for it, and reading costs one system call.
void Connection::doWait() {
    if (m_waiting || m_closed) {
        return;
    }
    m_waiting = true;
    m_socket.async_wait(
        asio::socket_base::wait_read,
        [self = shared_from_this()](const asio::error_code& error) { self->onReadable(error); });
}

void Connection::onReadable(const asio::error_code& error) {
    m_waiting = false;
    if (error || m_closed) {
        cancel();
        return;
    }
    m_readable = true;
    if (!m_busy) {
        receive();
    }
}

// Reads what has arrived and moves the request along. A read shorter than asked for
// emptied the socket, so the next data brings a fresh readiness event: wait for it.
void Connection::receive() {
    m_readable = false;
    for (int round = 0; round < 4; ++round) {
        if (m_closed || m_busy) {
            return;
        }
        const ReadResult result = readSome();
        if (result == ReadResult::nothing) {
            doWait();
            return;
        }
        m_request ? onBodyData() : onHeadData();
        if (result == ReadResult::drained && !m_closed && !m_busy) {
            doWait();
            return;
        }
    }
    if (!m_closed && !m_busy) {
        // Still more to read after several full reads: let other connections have a turn.
        asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->receive(); });
    }
}

Connection::ReadResult Connection::readSome() {
    const std::size_t had = m_buffer.size();
    m_buffer.resize(had + Http::readLimit);
    asio::error_code error;
    const std::size_t n =
        m_socket.read_some(asio::buffer(m_buffer.data() + had, Http::readLimit), error);
    m_buffer.resize(had + n);
    if (error == asio::error::would_block || error == asio::error::try_again) {
        return ReadResult::nothing;
    }
    if (error == asio::error::eof) {
        m_peerDone = true;
    } else if (error) {
        cancel();
    }
    return n == Http::readLimit ? ReadResult::full : ReadResult::drained;
}

void Connection::onHeadData() {
    const std::size_t from = m_searched >= 3 ? m_searched - 3 : 0;
    const std::optional<std::size_t> end = findHeadEnd(m_buffer, from);
    m_searched = m_buffer.size();
    if (!end) {
        if (m_buffer.size() > Http::headLimit || m_peerDone) {
            cancel();
        }
        return;
    }
    m_request = Request::parse(std::string_view(m_buffer).substr(0, *end));
    m_bodyLength = std::uint64_t(std::max<std::int64_t>(m_request->contentLength(), 0));
    m_buffer.erase(0, *end + 4);
    onBodyData();
}

void Connection::onBodyData() {
    if (m_buffer.size() >= m_bodyLength) {
        m_buffer.resize(m_bodyLength); // bytes past the body are dropped: no pipelining
        dispatch();
    } else if (m_peerDone || m_bodyLength > maxBody) {
        cancel();
    }
}

void Connection::dispatch() {
    auto owner = m_owner.lock();
    if (!owner) {
        return; // the server is gone
    }
    m_busy = true;
    doWait(); // notice the peer's close or next request while answering
    doSend(owner->handle(*m_request, m_buffer));
}

void Connection::doSend(Answer answer) {
    m_answer = std::move(answer);
    if (m_answer.file && m_answer.length <= kInlineBody) {
        const std::size_t headBytes = m_answer.bytes.size();
        m_answer.bytes.resize(headBytes + m_answer.length);
        const ssize_t got = pread(m_answer.file->fd->get(), m_answer.bytes.data() + headBytes,
                                  m_answer.length, off_t(m_answer.offset));
        if (got != ssize_t(m_answer.length)) {
            cancel(); // a read error or a file that shrank: the card sees a short answer
            return;
        }
        m_answer.file.reset();
    }
    asio::async_write(m_socket, asio::buffer(m_answer.bytes),
                      [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                          self->onSent(error);
                      });
}

void Connection::onSent(const asio::error_code& error) {
    if (error || m_closed) {
        cancel();
        return;
    }
    if (m_answer.file) {
        pumpFile();
        return;
    }
    finish();
}

// Sends the next piece of a file answer straight from the file; one piece per turn of
// the server's thread, so several transfers interleave.
void Connection::pumpFile() {
    if (m_closed) {
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
    if (sent <= 0) {
        cancel(); // read error, or the file ended early
        return;
    }
    m_answer.offset += std::uint64_t(sent);
    m_answer.length -= std::uint64_t(sent);
    asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->pumpFile(); });
}

void Connection::onPumpReady(const asio::error_code& error) {
    if (error) {
        cancel();
        return;
    }
    pumpFile();
}

void Connection::finish() {
    const bool close = Http::wantsClose(*m_request);
    m_busy = false;
    m_request.reset();
    m_buffer.clear();
    m_searched = 0;
    m_answer = Answer{};
    if (close) {
        cancel();
        return;
    }
    if (m_readable || m_peerDone) {
        receive();
    } else {
        doWait();
    }
}

} // namespace vorn
