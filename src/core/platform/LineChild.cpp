#include "platform/LineChild.h"

#include "platform/CancelFlag.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace vorn {

std::unique_ptr<LineChild> LineChild::start(const std::string& program,
                                            const std::vector<std::string>& arguments) {
    const std::optional<ChildProcess::Piped> child = ChildProcess::startPiped(program, arguments);
    return child ? std::make_unique<LineChild>(*child) : nullptr;
}

LineChild::~LineChild() {
    end(false);
}

bool LineChild::send(std::string_view bytes) {
    return !Files::writeAll(m_child.input, bytes); // EPIPE: nobody reads any more
}

LineChild::Wait LineChild::receive(std::string& line,
                                   std::chrono::steady_clock::time_point deadline,
                                   const CancelFlag& cancel) {
    using namespace std::chrono;
    for (;;) {
        if (const auto end = m_buffer.find('\n'); end != std::string::npos) {
            line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return Wait::line;
        }
        if (cancel.raised()) {
            return Wait::cancelled;
        }
        const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) {
            return Wait::timedOut;
        }
        // Without a cancel descriptor the flag is looked at every 50 ms.
        const int timeout = int(std::min<long long>(left, cancel.fd() >= 0 ? INT_MAX : 50));
        pollfd watched[2] = {{m_child.output, POLLIN, 0}, {cancel.fd(), POLLIN, 0}};
        if (poll(watched, 2, timeout) <= 0 || (watched[0].revents & (POLLIN | POLLHUP)) == 0) {
            continue; // time passed, cancelled or interrupted: looked at above
        }
        char buffer[4096];
        const ssize_t n = read(m_child.output, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
            return Wait::ended;
        }
        m_buffer.append(buffer, std::size_t(std::max<ssize_t>(n, 0)));
    }
}

ChildProcess::Outcome LineChild::end(bool stop) {
    if (!m_ended) {
        m_outcome = ChildProcess::end(m_child, stop);
        m_ended = true;
    }
    return m_outcome;
}

} // namespace vorn
