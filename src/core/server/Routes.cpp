#include "server/Routes.h"

#include "library/YourHub.h"
#include "server/DiskIO.h"
#include "server/Http.h"
#include "server/IndexPage.h"
#include "server/Media.h"

#include <algorithm>

namespace vorn::Routes {
namespace {

constexpr std::string_view kJson = "application/json";

Answer json(const Request& request, const std::string& body) {
    return {Http::answer(request, 200, kJson, body), std::nullopt, 0, 0};
}

std::int64_t atLeastOne(std::int64_t page) {
    return std::max<std::int64_t>(page, 1);
}

std::string inQuotes(std::string_view text) {
    std::string out = "\"";
    return out.append(text).append("\"");
}

Answer yourHub(ShareState& state, const Request& request) {
    const std::string* i = request.queryItem("i");
    const YourHub::Kind kind = i && *i == "a"   ? YourHub::Kind::audio
                               : i && *i == "p" ? YourHub::Kind::pictures
                                                : YourHub::Kind::disks;
    state.log("your hub (" + std::string(YourHub::rawValue(kind)) + ")");
    return json(request, state.yourHubJSON(kind));
}

Answer search(ShareState& state, const Request& request, const std::string& base) {
    const std::string* q = request.queryItem("q");
    const std::string query = q ? *q : std::string();
    const std::string* p = request.queryItem("p");
    const std::int64_t page = p ? parseSigned(*p).value_or(1) : 1;
    std::optional<std::string> cat;
    if (const std::string* c = request.queryItem("cat"); c && !c->empty()) {
        cat = *c;
    }
    if (auto answer = Media::search(state, request, base, query, page, cat)) {
        return std::move(*answer);
    }
    const std::string catNote = cat ? " cat " + inQuotes(*cat) : "";
    state.log("search " + inQuotes(query) + catNote + " p" + std::to_string(page));
    return json(request, state.catalog.searchJSON(query, atLeastOne(page), base,
                                                  Media::coverMap(state, base), cat,
                                                  state.effectiveHub().prefixSubfolder));
}

std::optional<Answer> jsonRoute(ShareState& state, const Request& request) {
    const std::string& path = request.path;
    // Only generated answers carry links; block reads never pay for the base URL.
    const auto base = [&] { return Http::baseURL(request, state.status.port); };
    if (path == "/" || path == "/index.html") {
        return Answer{
            Http::answer(request, 200, "text/html; charset=utf-8", indexHTML(state, base())),
            std::nullopt, 0, 0};
    }
    if (path == "/vorn-volumes.json") {
        state.log("catalog page 1");
        return json(request, state.catalog.pageJSON(1, base(), Media::coverMap(state, base())));
    }
    if (const auto n = numberedPage(path, "/vorn-volumes-")) {
        state.log("catalog page " + std::to_string(*n));
        return json(request,
                    state.catalog.pageJSON(atLeastOne(*n), base(), Media::coverMap(state, base())));
    }
    if (path == "/vorn-your-hub.json") {
        return yourHub(state, request);
    }
    if (path == "/search") {
        return search(state, request, base());
    }
    if (path.starts_with("/vorn-")) {
        return Media::catalogPage(state, request, base());
    }
    return std::nullopt;
}

} // namespace

std::optional<std::int64_t> numberedPage(std::string_view path, std::string_view prefix) {
    constexpr std::string_view suffix = ".json";
    if (!path.starts_with(prefix) || !path.ends_with(suffix) ||
        path.size() < prefix.size() + suffix.size()) {
        return std::nullopt;
    }
    const std::string_view number =
        path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    return parseSigned(number).value_or(1);
}

Answer handle(ShareState& state, const Request& request, std::string_view body,
              std::string_view peer) {
    ++state.status.requests;
    if (request.method == "GET") {
        if (auto answer = jsonRoute(state, request)) {
            return std::move(*answer);
        }
    }
    if (request.method == "GET" || request.method == "HEAD") {
        if (request.path.starts_with("/audio/")) {
            return Media::serveAudio(state, request);
        }
        if (request.path.starts_with("/pictures/")) {
            return Media::servePicture(state, request);
        }
        return DiskIO::serveImage(state, request);
    }
    if (request.method == "PUT") {
        return DiskIO::putImage(state, request, body, peer);
    }
    return {Http::answer(request, 405, "text/plain", "no\n"), std::nullopt, 0, 0};
}

std::optional<Answer> beforeBody(ShareState& state, const Request& request) {
    if (const std::optional<int> code = Http::framingError(request)) {
        ++state.status.requests;
        return Answer{Http::closingAnswer(request, *code), std::nullopt, 0, 0, true};
    }
    if (request.method != "PUT") {
        return handle(state, request, "");
    }
    std::optional<Answer> refused =
        DiskIO::refusePut(state, request, std::uint64_t(request.contentLength()));
    if (refused) {
        ++state.status.requests;
    }
    return refused;
}

} // namespace vorn::Routes
