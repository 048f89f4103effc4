#include "server/Http.h"

#include "platform/Text.h"
#include "server/LanIP.h"

#include <ctime>

namespace vorn::Http {

std::string_view reasonPhrase(int code) {
    switch (code) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "?";
    }
}

// HTTP/1.0 closes after every answer unless the client asked otherwise: a 1.0 client
// that never asked waits for the close to know the answer ended.
bool wantsClose(const Request& request) {
    const std::string* value = request.header("connection");
    const std::string asked = value != nullptr ? Text::lower(*value) : std::string();
    return asked == "close" || (request.version == "HTTP/1.0" && asked != "keep-alive");
}

std::string_view connectionHeader(const Request& request) {
    return wantsClose(request) ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
}

std::string answer(const Request& request, int code, std::string_view mime, std::string_view body) {
    std::string out;
    out.reserve(160 + body.size());
    out.append("HTTP/1.1 ").append(std::to_string(code)).append(" ").append(reasonPhrase(code));
    out.append("\r\nContent-Type: ").append(mime);
    out.append("\r\nContent-Length: ").append(std::to_string(body.size())).append("\r\n");
    if (code == 200 && mime == "application/json") {
        out.append("Accept-Ranges: bytes\r\n");
    }
    out.append(connectionHeader(request)).append("\r\n");
    if (request.method != "HEAD") {
        out.append(body);
    }
    return out;
}

std::string closingAnswer(const Request& request, int code) {
    Request closing = request;
    closing.headers["connection"] = "close";
    return answer(closing, code, "text/plain", "");
}

std::string baseURL(const Request& request, std::uint16_t port) {
    if (const std::string* host = request.header("host")) {
        return "http://" + *host + "/";
    }
    return "http://" + LanIP::primary() + ":" + std::to_string(port) + "/";
}

std::string lastModifiedHeader(Date date) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    // Fixed English names: the C locale's strftime could be changed by the environment.
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "Last-Modified: %s, %02d %s %04d %02d:%02d:%02d GMT\r\n",
                  days[utc.tm_wday % 7], utc.tm_mday, months[utc.tm_mon % 12], utc.tm_year + 1900,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::optional<std::string> servedPath(std::string_view path, std::string_view prefix,
                                      bool decodeAgain) {
    if (!path.starts_with(prefix)) {
        return std::nullopt;
    }
    const std::string_view rest = path.substr(prefix.size());
    const auto decoded = decodeAgain ? Text::percentDecode(rest) : std::optional(std::string(rest));
    if (!decoded || decoded->empty()) {
        return std::nullopt;
    }
    const std::vector<std::string> pieces = Text::splitNonEmpty(*decoded, '/');
    for (const std::string& piece : pieces) {
        if (piece.front() == '.') {
            return std::nullopt; // hidden names and ".." alike
        }
    }
    if (pieces.empty()) {
        return std::nullopt;
    }
    return Text::join(pieces, "/");
}

} // namespace vorn::Http
