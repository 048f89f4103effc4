#include "server/RequestFramer.h"

#include "platform/Text.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vorn {
namespace {

// A buffer that grew beyond this for a large body is given back once the request is done,
// so idle connections stay small.
constexpr std::size_t kKeptBuffer = 16384;

// Where the blank line that ends a head is: the head's end (before the line end that
// precedes the blank line) and the body's start. A line may end in LF alone here; the
// check of the head refuses it, so that such a head is answered rather than awaited.
struct BlankLine {
    std::size_t headEnd;
    std::size_t bodyStart;
};

std::optional<BlankLine> findBlankLine(std::string_view bytes, std::size_t from) {
    for (std::size_t at = bytes.find('\n', from); at != std::string_view::npos;
         at = bytes.find('\n', at + 1)) {
        const std::string_view after = bytes.substr(at + 1);
        std::size_t blank = 0;
        if (after.starts_with('\n')) {
            blank = 1;
        } else if (after.starts_with("\r\n")) {
            blank = 2;
        } else {
            continue;
        }
        const std::size_t headEnd = at > 0 && bytes[at - 1] == '\r' ? at - 1 : at;
        return BlankLine{headEnd, at + 1 + blank};
    }
    return std::nullopt;
}

bool sameName(std::string_view name, std::string_view lowerName) {
    return std::equal(name.begin(), name.end(), lowerName.begin(), lowerName.end(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; });
}

// A Content-Length as this share takes it: one plain decimal number, that also fits the
// signed count the routes read.
std::optional<std::uint64_t> plainLength(std::string_view value) {
    const std::optional<std::uint64_t> length = parseUnsigned(value);
    if (!length || *length > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    return length;
}

// "METHOD TARGET HTTP/1.x", words apart by runs of blanks: a line of another form frames
// nothing that can be trusted. Every block read passes here: no allocation.
bool plainRequestLine(std::string_view line) {
    std::string_view words[4];
    std::size_t count = 0;
    for (std::size_t at = line.find_first_not_of(' '); at != std::string_view::npos && count < 4;
         at = line.find_first_not_of(' ', at)) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        words[count++] = line.substr(at, end - at);
        at = end;
    }
    const std::string_view version = words[2];
    return count == 3 && version.size() == 8 && version.starts_with("HTTP/1.") &&
           version[7] >= '0' && version[7] <= '9';
}

} // namespace

std::span<char> RequestFramer::room(std::size_t most) {
    const std::size_t had = m_buffer.size();
    const std::size_t end = m_bodyStart + std::size_t(m_bodyLength);
    const std::size_t n = m_phase == Phase::body && end > had ? std::min(most, end - had) : most;
    m_buffer.resize(had + n);
    m_room = had;
    return {m_buffer.data() + had, n};
}

void RequestFramer::received(std::size_t got) {
    m_buffer.resize(m_room + got);
}

RequestFramer::Step RequestFramer::next() {
    switch (m_phase) {
    case Phase::head:
        return findHead();
    case Phase::body:
        if (!bodyInHand()) {
            return Step::needMore;
        }
        m_phase = Phase::done;
        return Step::body;
    case Phase::skip: {
        const auto n =
            std::size_t(std::min<std::uint64_t>(m_bodyLength, m_buffer.size() - m_bodyStart));
        m_buffer.erase(m_bodyStart, n);
        m_bodyLength -= n;
        if (m_bodyLength > 0) {
            return Step::needMore;
        }
        m_phase = Phase::done;
        return Step::body;
    }
    case Phase::done:
        return Step::needMore;
    case Phase::failed:
        break;
    }
    return Step::error;
}

void RequestFramer::holdBody() {
    m_buffer.reserve(m_bodyStart + std::size_t(m_bodyLength));
}

void RequestFramer::skipBody() {
    if (m_phase == Phase::body) {
        m_phase = Phase::skip;
    }
}

void RequestFramer::done() {
    if (m_phase != Phase::done) {
        return;
    }
    m_buffer.erase(0, m_bodyStart + std::size_t(m_bodyLength));
    if (m_buffer.capacity() > kKeptBuffer && m_buffer.size() < kKeptBuffer) {
        std::string(m_buffer).swap(m_buffer);
    }
    m_phase = Phase::head;
    m_searched = 0;
    m_bodyStart = 0;
    m_bodyLength = 0;
}

RequestFramer::Step RequestFramer::findHead() {
    // Empty lines before a request line are passed over: some clients end a body with one.
    std::size_t lead = 0;
    while (lead < m_buffer.size() &&
           (m_buffer[lead] == '\n' || m_buffer.compare(lead, 2, "\r\n") == 0)) {
        lead += m_buffer[lead] == '\n' ? 1 : 2;
    }
    if (lead > 0) {
        m_buffer.erase(0, lead);
        m_searched = 0;
    }
    const std::optional<BlankLine> blank = findBlankLine(m_buffer, m_searched);
    if (!blank) {
        m_searched = m_buffer.size() >= 2 ? m_buffer.size() - 2 : 0;
        return m_buffer.size() > m_headLimit ? fail(0) : Step::needMore;
    }
    const std::string_view head(m_buffer.data(), blank->headEnd);
    m_request = Request::parse(head);
    m_bodyStart = blank->bodyStart;
    if (m_buffer.compare(blank->headEnd, 4, "\r\n\r\n") != 0) {
        return fail(400); // a line ended by LF alone
    }
    if (const int status = checkHead(head)) {
        return fail(status);
    }
    m_phase = Phase::body;
    return Step::head;
}

RequestFramer::Step RequestFramer::fail(int status) {
    m_phase = Phase::failed;
    m_error = status;
    return Step::error;
}

int RequestFramer::checkHead(std::string_view head) {
    std::size_t at = head.find("\r\n");
    const std::string_view line = head.substr(0, at);
    if (line.find('\n') != std::string_view::npos || !plainRequestLine(line)) {
        return 400;
    }
    bool lengthSeen = false, coded = false;
    m_bodyLength = 0;
    while (at != std::string_view::npos) {
        const std::size_t start = at + 2;
        at = head.find("\r\n", start);
        const std::string_view field =
            head.substr(start, at == std::string_view::npos ? at : at - start);
        if (const int status = checkField(field, lengthSeen, coded)) {
            return status;
        }
    }
    // No transfer coding is read: its framing would be taken for the body's bytes.
    if (coded || (!lengthSeen && m_request.method == "PUT")) {
        return 411;
    }
    return 0;
}

int RequestFramer::checkField(std::string_view line, bool& lengthSeen, bool& coded) {
    const std::size_t colon = line.find(':');
    // A line ended by LF alone, a folded line, a line without a name, or a name with
    // blanks before its colon: read one way here and another by whatever sent it.
    if (line.find('\n') != std::string_view::npos || line.starts_with(' ') ||
        line.starts_with('\t') || colon == 0 || colon == std::string_view::npos ||
        line.substr(0, colon).find_first_of(" \t") != std::string_view::npos) {
        return 400;
    }
    const std::string_view name = line.substr(0, colon);
    if (sameName(name, "content-length")) {
        const std::optional<std::uint64_t> length =
            plainLength(Text::trimBlanks(line.substr(colon + 1)));
        if (!length || (lengthSeen && *length != m_bodyLength)) {
            return 400;
        }
        lengthSeen = true;
        m_bodyLength = *length;
    } else if (sameName(name, "transfer-encoding")) {
        coded = true;
    }
    return 0;
}

} // namespace vorn
