#pragma once
// The way other threads (conversions finishing, Avahi reporting) hand work to the
// server's thread. Once the server closes the gate, late arrivals are dropped instead
// of reaching an io_context that is going away.

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <functional>
#include <memory>
#include <mutex>

namespace vorn {

class PostGate {
public:
    explicit PostGate(asio::io_context& io) : m_io(&io) {}

    /// Runs `task` on the server's thread later, unless the gate is closed.
    void post(std::function<void()> task) {
        std::lock_guard lock(m_mutex);
        if (m_io != nullptr) {
            asio::post(*m_io, std::move(task));
        }
    }
    /// Drops every later post.
    void close() {
        std::lock_guard lock(m_mutex);
        m_io = nullptr;
    }

private:
    std::mutex m_mutex;
    asio::io_context* m_io;
};

} // namespace vorn
