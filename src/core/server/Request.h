#pragma once
// One HTTP request head, parsed. The parser knows no sockets and never fails: a
// malformed request line just leaves the method empty.

#include "platform/Numbers.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

struct Request {
    /// First word of the request line, case kept; empty when the line has fewer than two words.
    std::string method;
    /// The target up to the first "?", percent-decoded once (as sent when that fails).
    std::string path;
    /// The third word of the request line ("HTTP/1.1"), empty when there is none.
    std::string version;
    /// Query items: keys as sent, values percent-decoded; a later key replaces an earlier one.
    std::map<std::string, std::string> query;
    /// Header fields under lower-cased names, values trimmed of blanks.
    std::map<std::string, std::string> headers;

    /// The Content-Length header as a signed number; 0 when absent or malformed.
    std::int64_t contentLength() const;
    /// The header's value, if the request has it (name in lower case).
    const std::string* header(const std::string& name) const;
    /// The query item's value, if present.
    const std::string* queryItem(const std::string& key) const;

    /// Parses the head: everything before the blank line, decoded as UTF-8.
    static Request parse(std::string_view head);

    bool operator==(const Request&) const = default;
};

} // namespace vorn
