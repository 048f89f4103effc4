#include "server/Listener.h"

#include <asio/ip/v6_only.hpp>
#include <chrono>

namespace vorn {
namespace {

// Accept failures that pass once some connections close or memory frees up.
bool transient(const asio::error_code& error) {
    return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
           error == asio::error::no_memory || error == asio::error::connection_aborted ||
           error.value() == ENFILE;
}

} // namespace

Listener::Listener(asio::io_context& io, AcceptFn onAccept, FailFn onFailed)
    : m_onAccept(std::move(onAccept)), m_onFailed(std::move(onFailed)), m_retry(io) {}

asio::ip::tcp::acceptor Listener::open(asio::io_context& io, std::uint16_t port) {
    asio::ip::tcp::acceptor acceptor(io);
    asio::error_code error;
    acceptor.open(asio::ip::tcp::v6(), error);
    asio::ip::tcp::endpoint endpoint(asio::ip::tcp::v6(), port);
    if (!error) {
        // One socket for both families: IPv4 peers arrive as ::ffff:a.b.c.d.
        acceptor.set_option(asio::ip::v6_only(false), error);
    }
    if (error) {
        acceptor = asio::ip::tcp::acceptor(io); // no IPv6 on this machine
        acceptor.open(asio::ip::tcp::v4());
        endpoint = asio::ip::tcp::endpoint(asio::ip::tcp::v4(), port);
    }
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
    return acceptor;
}

std::uint16_t Listener::start(asio::ip::tcp::acceptor acceptor) {
    stop();
    m_acceptor.emplace(std::move(acceptor));
    asio::error_code error;
    const auto local = m_acceptor->local_endpoint(error);
    doAccept();
    return error ? 0 : local.port();
}

void Listener::stop() {
    ++m_generation; // the cancelled accept reports to nobody
    m_retry.cancel();
    if (m_acceptor) {
        asio::error_code ignored;
        m_acceptor->close(ignored);
        m_acceptor.reset();
    }
}

void Listener::doAccept() {
    m_acceptor->async_accept([weak = weak_from_this(), generation = m_generation](
                                 const asio::error_code& error, asio::ip::tcp::socket socket) {
        auto self = weak.lock();
        if (self && generation == self->m_generation) {
            self->onAccept(error, std::move(socket));
        }
    });
}

void Listener::onAccept(const asio::error_code& error, asio::ip::tcp::socket socket) {
    if (error == asio::error::operation_aborted) {
        return; // we are stopping
    }
    if (transient(error)) {
        m_retry.expires_after(std::chrono::milliseconds(100));
        m_retry.async_wait(
            [weak = weak_from_this(), generation = m_generation](const asio::error_code& e) {
                auto self = weak.lock();
                if (self && !e && generation == self->m_generation) {
                    self->doAccept();
                }
            });
        return;
    }
    if (error) {
        const std::string reason = error.message();
        stop();
        m_onFailed(reason);
        return;
    }
    m_onAccept(std::move(socket));
    if (m_acceptor) { // the callback may have stopped the listener
        doAccept();
    }
}

} // namespace vorn
