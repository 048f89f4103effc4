#include "server/Request.h"

#include "platform/Text.h"

#include <charconv>

namespace vorn {
namespace {

// Splits at the first `separator` that has text before it; leading separators are dropped.
std::pair<std::string_view, std::optional<std::string_view>> splitFirst(std::string_view text,
                                                                        char separator) {
    const auto start = text.find_first_not_of(separator);
    if (start == std::string_view::npos) {
        return {{}, std::nullopt};
    }
    text.remove_prefix(start);
    const auto at = text.find(separator);
    if (at == std::string_view::npos) {
        return {text, std::nullopt};
    }
    return {text.substr(0, at), text.substr(at + 1)};
}

std::string decodedOrRaw(std::string_view text) {
    auto decoded = Text::percentDecode(text);
    return decoded ? std::move(*decoded) : std::string(text);
}

void parseQuery(std::string_view query, std::map<std::string, std::string>& items) {
    for (const std::string& item : Text::splitNonEmpty(query, '&')) {
        const auto [key, value] = splitFirst(item, '=');
        if (key.empty()) {
            continue; // an item made only of "="
        }
        items[std::string(key)] = value ? decodedOrRaw(*value) : std::string();
    }
}

void parseRequestLine(std::string_view line, Request& request) {
    const std::vector<std::string> words = Text::splitNonEmpty(line, ' ');
    if (words.size() < 2) {
        return;
    }
    request.method = words[0];
    if (words.size() > 2) {
        request.version = words[2];
    }
    const auto [path, query] = splitFirst(words[1], '?');
    request.path = decodedOrRaw(path);
    if (query && !query->empty()) {
        parseQuery(*query, request.query);
    }
}

void parseHeaderLine(std::string_view line, Request& request) {
    const auto [name, value] = splitFirst(line, ':');
    if (name.empty() || !value || value->empty()) {
        return;
    }
    request.headers[Text::lower(name)] = std::string(Text::trimBlanks(*value));
}

} // namespace

Request Request::parse(std::string_view head) {
    const std::string text = Text::validUtf8(head);
    Request request;
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line(text.data() + start, end - start);
        if (first) {
            parseRequestLine(line, request);
            first = false;
        } else if (!line.empty()) {
            parseHeaderLine(line, request);
        }
        start = end + 2;
    }
    return request;
}

std::int64_t Request::contentLength() const {
    const std::string* value = header("content-length");
    return value ? parseSigned(*value).value_or(0) : 0;
}

const std::string* Request::header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? nullptr : &it->second;
}

const std::string* Request::queryItem(const std::string& key) const {
    const auto it = query.find(key);
    return it == query.end() ? nullptr : &it->second;
}

} // namespace vorn
