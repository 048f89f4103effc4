#pragma once
// A small blocking HTTP client on a loopback socket for the server tests. Every wait is
// bounded, so a server that never answers fails the test instead of hanging it.

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vorn::test {

/// A GET request for `target`, with `headers` (each ending in CR LF) after its Host line.
inline std::string get(const std::string& target, const std::string& headers = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: share\r\n" + headers + "\r\n";
}

/// A PUT request carrying `body`, with its length and `headers`.
inline std::string put(const std::string& target, std::string_view body,
                       const std::string& headers = "") {
    return "PUT " + target + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + headers + "\r\n" + std::string(body);
}

/// A Range line for the bytes `start` to `end`, both included.
inline std::string range(std::uint64_t start, std::uint64_t end) {
    return "Range: bytes=" + std::to_string(start) + "-" + std::to_string(end) + "\r\n";
}

/// One answer as it came over the wire; status 0 when none came.
struct Reply {
    int status = 0;
    std::string head; // status line and headers, blank line included
    std::string body;

    /// The value of the line "Name: value" (name as sent), if the head has it.
    std::optional<std::string> header(const std::string& name) const {
        const auto at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) {
            return std::nullopt;
        }
        const auto start = at + name.size() + 4;
        return head.substr(start, head.find("\r\n", start) - start);
    }
    explicit operator bool() const { return status != 0; }
};

/// A block write as the card sends it: `bytes` at `offset` of the image at `path`, whose
/// size is `size`.
inline std::string putRequest(const std::string& path, std::uint64_t offset,
                              const std::string& bytes, std::uint64_t size) {
    return "PUT " + path + " HTTP/1.1\r\nHost: box\r\nContent-Range: bytes " +
           std::to_string(offset) + "-" + std::to_string(offset + bytes.size() - 1) + "/" +
           std::to_string(size) + "\r\nContent-Length: " + std::to_string(bytes.size()) +
           "\r\n\r\n" + bytes;
}

class HttpClient {
public:
    using Clock = std::chrono::steady_clock;

    /// Connects to 127.0.0.1 (AF_INET) or ::1 (AF_INET6) on `port`.
    explicit HttpClient(std::uint16_t port, int family = AF_INET)
        : m_fd(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in v4{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        sockaddr_in6 v6{AF_INET6, htons(port), 0, in6addr_loopback, 0};
        const bool six = family == AF_INET6;
        const timeval sendLimit{5, 0};
        const int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (connect(m_fd, six ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4),
                    six ? sizeof v6 : sizeof v4) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~HttpClient() { ::close(m_fd); }
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    bool connected() const { return m_fd >= 0; }
    void shutdownWrite() { shutdown(m_fd, SHUT_WR); }

    /// Sends all bytes (`bytewise`: one byte per segment); false when refused.
    bool send(std::string_view bytes, bool bytewise = false) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytewise ? 1 : bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            bytes.remove_prefix(std::size_t(n));
            if (bytewise) {
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        }
        return connected();
    }
    /// Reads one answer within 5 s; HEAD answers (`headOnly`) have no body.
    std::optional<Reply> read(bool headOnly = false) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        std::size_t end;
        while ((end = m_pending.find("\r\n\r\n")) == std::string::npos) {
            if (!fill(deadline)) {
                return std::nullopt;
            }
        }
        const int code = std::atoi(m_pending.c_str() + std::min<std::size_t>(9, end));
        Reply reply{code != 0 ? code : -1, m_pending.substr(0, end + 4), ""}; // -1: no code
        const std::size_t length =
            headOnly ? 0 : std::stoull(reply.header("Content-Length").value_or("0"));
        while (m_pending.size() < end + 4 + length) {
            if (!fill(deadline)) {
                return std::nullopt;
            }
        }
        reply.body = m_pending.substr(end + 4, length);
        m_pending.erase(0, end + 4 + length);
        return reply;
    }
    std::optional<Reply> request(std::string_view wire, bool headOnly = false) {
        return send(wire) ? read(headOnly) : std::nullopt;
    }
    /// `request`, with an answer of status 0 standing for none.
    Reply ask(std::string_view wire) { return request(wire).value_or(Reply{}); }

    /// Reads for up to `wait`; true when the server closed the connection, with
    /// `received` holding what came before.
    bool closedWithin(std::chrono::milliseconds wait, std::string* received = nullptr) {
        const auto deadline = Clock::now() + wait;
        while (fill(deadline)) {
        }
        if (received != nullptr) {
            *received = std::move(m_pending);
        }
        return m_eof;
    }
    /// The server closed the connection within 5 s without sending anything more.
    bool closedSilently() {
        std::string more;
        return closedWithin(std::chrono::seconds(5), &more) && more.empty();
    }
    /// Nothing arrived within `wait` and the connection is still open.
    bool quiet(std::chrono::milliseconds wait = std::chrono::milliseconds(250)) {
        std::string more;
        return !closedWithin(wait, &more) && more.empty();
    }

private:
    // Waits until the deadline for more bytes; false on timeout, close or error.
    bool fill(Clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{m_fd, POLLIN, 0};
        if (m_fd < 0 || m_eof || left.count() <= 0 || poll(&entry, 1, int(left.count())) <= 0) {
            return false;
        }
        char buffer[65536];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        m_eof = n <= 0; // an orderly close or a reset: the server is done with us
        m_pending.append(buffer, std::size_t(std::max<ssize_t>(n, 0)));
        return !m_eof;
    }

    int m_fd = -1;
    std::string m_pending;
    bool m_eof = false;
};

} // namespace vorn::test
