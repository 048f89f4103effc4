#pragma once
// The fixed wire layouts of the share's HTTP answers, and the helpers every serving
// route uses. Pure functions: bytes out, no sockets.

#include "platform/Date.h"
#include "server/Request.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorn::Http {

/// The most one receive asks for.
inline constexpr std::size_t readLimit = 131072;
/// A head that grows past this without a blank line ends the connection.
inline constexpr std::size_t headLimit = 262144;

/// "OK", "Not Found"...; "?" for codes the share never sends.
std::string_view reasonPhrase(int code);
/// Whether the connection ends after the answer: "Connection: close" (any letter case),
/// or HTTP/1.0 without "Connection: keep-alive".
bool wantsClose(const Request& request);
/// "Connection: close" or "Connection: keep-alive", with CR LF.
std::string_view connectionHeader(const Request& request);
/// A complete answer: status line, type, length, ranges note for 200 JSON, connection,
/// blank line, then the body unless the method is HEAD.
std::string answer(const Request& request, int code, std::string_view mime, std::string_view body);
/// `answer` with an empty text body and "Connection: close", for requests after which the
/// connection ends.
std::string closingAnswer(const Request& request, int code);
/// "http://" + Host header + "/", or the primary LAN address and `port` without one.
std::string baseURL(const Request& request, std::uint16_t port);
/// "Last-Modified: Tue, 03 Dec 2024 18:05:09 GMT" with CR LF.
std::string lastModifiedHeader(Date date);
/// The safe relative name below a URL prefix ("/audio/"), decoded a second time (or, with
/// `decodeAgain` false, as it stands), without dot segments or empty pieces; absent when
/// the path is outside the prefix or unsafe.
std::optional<std::string> servedPath(std::string_view path, std::string_view prefix,
                                      bool decodeAgain = true);

} // namespace vorn::Http
