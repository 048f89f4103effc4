#include "server/Routes.h"

#include "library/YourHub.h"
#include "server/DiskIO.h"
#include "server/Http.h"
#include "server/IndexPage.h"
#include "server/Media.h"

#include <algorithm>
#include <iterator>

namespace vorn::Routes {
namespace {

// What a row's handler is given.
struct Call {
    ShareState& state;
    const Request& request;
    std::string_view body;
    std::string_view peer;
    /// The N of a numbered page ("/vorn-volumes-N.json") as parsed; 1 on every other path.
    std::int64_t page;

    // Only generated answers carry links; block reads never pay for the base URL.
    std::string base() const { return Http::baseURL(request, state.status.port); }
};

Answer json(const Request& request, const std::string& body) {
    return {Http::answer(request, 200, "application/json", body), std::nullopt, 0, 0};
}

std::int64_t atLeastOne(std::int64_t page) {
    return std::max<std::int64_t>(page, 1);
}

// Page numbers, of numbered pages and of a search's "p" alike: a bad number is page 1.
std::int64_t pageNumber(std::string_view text) {
    return parseSigned(text).value_or(1);
}

// The page number of "<prefix>N.json", or absent when the path does not have that form.
std::optional<std::int64_t> numberedPage(std::string_view path, std::string_view prefix) {
    constexpr std::string_view suffix = ".json";
    if (!path.starts_with(prefix) || !path.ends_with(suffix) ||
        path.size() < prefix.size() + suffix.size()) {
        return std::nullopt;
    }
    return pageNumber(path.substr(prefix.size(), path.size() - prefix.size() - suffix.size()));
}

SearchTerms searchTerms(const Request& request) {
    SearchTerms terms;
    if (const std::string* q = request.queryItem("q")) {
        terms.query = *q;
    }
    if (const std::string* p = request.queryItem("p")) {
        terms.page = pageNumber(*p);
    }
    if (const std::string* cat = request.queryItem("cat"); cat && !cat->empty()) {
        terms.cat = *cat;
    }
    return terms;
}

// The handlers, in the order of their rows.

Answer indexPage(const Call& call) {
    return {Http::answer(call.request, 200, "text/html; charset=utf-8",
                         indexHTML(call.state, call.base())),
            std::nullopt, 0, 0};
}

Answer volumesPage(const Call& call) {
    call.state.log("catalog page " + std::to_string(call.page));
    const std::string base = call.base();
    return json(call.request, call.state.catalog().pageJSON(atLeastOne(call.page), base,
                                                            Media::coverMap(call.state, base)));
}

Answer yourHub(const Call& call) {
    const std::string* i = call.request.queryItem("i");
    const YourHub::Kind kind = i && *i == "a"   ? YourHub::Kind::audio
                               : i && *i == "p" ? YourHub::Kind::pictures
                                                : YourHub::Kind::disks;
    call.state.log("your hub (" + std::string(YourHub::rawValue(kind)) + ")");
    return json(call.request, call.state.yourHubJSON(kind));
}

// The selector "i" picks the catalog searched: disk images when absent or unknown.
Answer search(const Call& call) {
    ShareState& state = call.state;
    const SearchTerms terms = searchTerms(call.request);
    const std::string* i = call.request.queryItem("i");
    const std::string_view selector = i ? std::string_view(*i) : std::string_view();
    if (selector == "s") {
        return Media::stationsSearch(state, call.request, terms);
    }
    const std::string base = call.base();
    if (selector == "a") {
        return Media::audioSearch(state, call.request, base, terms);
    }
    if (selector == "p") {
        return Media::picturesSearch(state, call.request, base, terms);
    }
    state.log("search " + terms.logged());
    return json(call.request, state.catalog().searchJSON(terms.query, atLeastOne(terms.page), base,
                                                         Media::coverMap(state, base), terms.cat,
                                                         state.effectiveHub().prefixSubfolder));
}

Answer audioPage(const Call& call) {
    return Media::audioPage(call.state, call.request, call.base(), call.page);
}

Answer picturesPage(const Call& call) {
    return Media::picturesPage(call.state, call.request, call.base(), call.page);
}

Answer serveAudio(const Call& call) {
    return Media::serveAudio(call.state, call.request);
}

Answer servePicture(const Call& call) {
    return Media::servePicture(call.state, call.request);
}

Answer serveImage(const Call& call) {
    return DiskIO::serveImage(call.state, call.request);
}

Answer putImage(const Call& call) {
    return DiskIO::putImage(call.state, call.request, call.body, call.peer);
}

std::optional<Answer> refusePut(const Call& call) {
    return DiskIO::refusePut(call.state, call.request, std::uint64_t(call.request.contentLength()));
}

Answer refuse(const Call& call) {
    return {Http::answer(call.request, 405, "text/plain", "no\n"), std::nullopt, 0, 0};
}

// The methods a row takes; names are compared exactly, so "get" is another method.
enum Method : unsigned { get = 1, head = 2, put = 4, other = 8 };
constexpr unsigned getOrHead = get | head;
constexpr unsigned anyMethod = get | head | put | other;

unsigned methodOf(std::string_view name) {
    return name == "GET" ? get : name == "HEAD" ? head : name == "PUT" ? put : other;
}

enum class Match {
    exact,    // the path is `path`
    numbered, // "<path>N.json", N read by `pageNumber`
    prefix,   // the path begins with `path`
    any,
};

struct Route {
    unsigned methods;
    Match match;
    std::string_view path;
    Answer (*answer)(const Call& call);
    /// Only rows whose answer depends on the request's body have it: the refusal decided
    /// from the head alone, absent when the body is wanted. The body of a request for
    /// any other row is skipped unread.
    std::optional<Answer> (*beforeBody)(const Call& call) = nullptr;
};

// Tried top to bottom; the first row that takes the method and the path answers. The
// JSON rows take GET only: HEAD on them asks for a file of that name. A new route is a
// handler above and a row here, in its place.
//   methods, path rule, path, handler[, refusal from the head]
constexpr Route kRoutes[] = {
    {get, Match::exact, "/", indexPage},
    {get, Match::exact, "/index.html", indexPage},
    {get, Match::exact, "/vorn-volumes.json", volumesPage},
    {get, Match::numbered, "/vorn-volumes-", volumesPage},
    {get, Match::exact, "/vorn-your-hub.json", yourHub},
    {get, Match::exact, "/search", search},
    {get, Match::exact, "/vorn-audio.json", audioPage},
    {get, Match::numbered, "/vorn-audio-", audioPage},
    {get, Match::exact, "/vorn-pictures.json", picturesPage},
    {get, Match::numbered, "/vorn-pictures-", picturesPage},
    {getOrHead, Match::prefix, "/audio/", serveAudio},
    {getOrHead, Match::prefix, "/pictures/", servePicture},
    {getOrHead, Match::any, "", serveImage},
    {put, Match::any, "", putImage, refusePut},
    {anyMethod, Match::any, "", refuse},
};

// The page number a row gives the path (1 unless numbered), or absent when the path is
// not the row's.
std::optional<std::int64_t> pageOf(const Route& route, std::string_view path) {
    switch (route.match) {
    case Match::exact:
        return path == route.path ? std::optional<std::int64_t>(1) : std::nullopt;
    case Match::numbered:
        return numberedPage(path, route.path);
    case Match::prefix:
        return path.starts_with(route.path) ? std::optional<std::int64_t>(1) : std::nullopt;
    case Match::any:
        return 1;
    }
    return std::nullopt;
}

std::pair<const Route*, std::int64_t> routeOf(const Request& request) {
    const unsigned method = methodOf(request.method);
    for (const Route& route : kRoutes) {
        if ((route.methods & method) == 0) {
            continue;
        }
        if (const std::optional<std::int64_t> page = pageOf(route, request.path)) {
            return {&route, *page};
        }
    }
    return {&kRoutes[std::size(kRoutes) - 1], 1}; // not reached: the last row takes all
}

} // namespace

Answer handle(ShareState& state, const Request& request, std::string_view body,
              std::string_view peer) {
    ++state.status.requests;
    const auto [route, page] = routeOf(request);
    return route->answer(Call{state, request, body, peer, page});
}

std::optional<Answer> beforeBody(ShareState& state, const Request& request, bool bodyInHand) {
    const auto [route, page] = routeOf(request);
    const Call call{state, request, {}, {}, page};
    if (route->beforeBody == nullptr) {
        ++state.status.requests;
        return route->answer(call);
    }
    if (bodyInHand) {
        return std::nullopt;
    }
    std::optional<Answer> refused = route->beforeBody(call);
    if (refused) {
        ++state.status.requests;
    }
    return refused;
}

} // namespace vorn::Routes
