#include "server/Media.h"

#include "server/DiskIO.h"
#include "server/Http.h"
#include "server/Routes.h"

#include <functional>

namespace vorn::Media {
namespace {

Answer json(const Request& request, const std::string& body) {
    return {Http::answer(request, 200, "application/json", body), std::nullopt, 0, 0};
}

std::string inQuotes(std::string_view text) {
    std::string out = "\"";
    return out.append(text).append("\"");
}

// The item a request names, with its name: the path decoded a second time, or failing
// that as it stands, for names that themselves hold "%" escapes (their URLs encode the
// "%" once more).
template <class Item>
std::pair<const Item*, std::string> namedItem(const Request& request, std::string_view prefix,
                                              const std::vector<Item>& items) {
    for (const bool decodeAgain : {true, false}) {
        const std::optional<std::string> name = Http::servedPath(request.path, prefix, decodeAgain);
        for (const Item& item : items) {
            if (name && item.fileName == *name) {
                return {&item, *name};
            }
        }
    }
    return {nullptr, {}};
}

template <class Item, class Url>
Answer serveItem(ShareState& state, const Request& request, std::string_view prefix,
                 const std::vector<Item>& items, Url url) {
    const auto [item, name] = namedItem(request, prefix, items);
    if (item == nullptr) {
        return DiskIO::serveFile(state, request, std::nullopt, std::nullopt);
    }
    // Recorded as "audio/" + name.
    return DiskIO::serveFile(state, request, state.files.file(url(*item)),
                             std::string(prefix.substr(1)) + name);
}

} // namespace

std::optional<Answer> catalogPage(ShareState& state, const Request& request,
                                  const std::string& base) {
    struct PagedCatalog {
        std::string_view stem; // "/vorn-audio" serves "/vorn-audio.json" and "/vorn-audio-N.json"
        std::string_view name;
        std::function<std::string(std::int64_t)> page;
    };
    const PagedCatalog catalogs[] = {
        {"/vorn-audio", "audio", [&](std::int64_t n) { return state.audio.pageJSON(n, base); }},
        {"/vorn-pictures", "pictures",
         [&](std::int64_t n) { return state.pictures.pageJSON(n, base); }},
    };
    for (const PagedCatalog& catalog : catalogs) {
        std::optional<std::int64_t> n;
        if (request.path == std::string(catalog.stem) + ".json") {
            n = 1;
        } else {
            n = Routes::numberedPage(request.path, std::string(catalog.stem) + "-");
        }
        if (n) {
            state.log(std::string(catalog.name) + " page " + std::to_string(*n));
            return json(request, catalog.page(std::max<std::int64_t>(*n, 1)));
        }
    }
    return std::nullopt;
}

std::optional<Answer> search(ShareState& state, const Request& request, const std::string& base,
                             const std::string& query, std::int64_t page,
                             const std::optional<std::string>& cat) {
    const std::string* selector = request.queryItem("i");
    if (selector == nullptr) {
        return std::nullopt;
    }
    const std::string catNote = cat ? " cat " + inQuotes(*cat) : "";
    const std::string pageNote = " p" + std::to_string(page);
    const std::int64_t shown = std::max<std::int64_t>(page, 1);
    const bool prefixSub = state.effectiveHub().prefixSubfolder;
    if (*selector == "a") {
        state.log("audio search " + inQuotes(query) + catNote + pageNote);
        return json(request, state.audio.searchJSON(query, shown, base, cat, prefixSub));
    }
    if (*selector == "s") {
        state.log("stations search " + inQuotes(query) + " (none on a LAN share)");
        return json(request, AudioCatalog::emptyStationsJSON());
    }
    if (*selector == "p") {
        state.log("pictures search " + inQuotes(query) + catNote + pageNote);
        return json(request, state.pictures.searchJSON(query, shown, base, cat, prefixSub));
    }
    return std::nullopt;
}

Answer serveAudio(ShareState& state, const Request& request) {
    return serveItem(state, request, "/audio/", state.audio.tracks,
                     [](const AudioTrack& track) { return track.pcmURL; });
}

Answer servePicture(ShareState& state, const Request& request) {
    return serveItem(state, request, "/pictures/", state.pictures.pictures,
                     [](const StillPic& pic) { return pic.shrURL; });
}

Covers coverMap(const ShareState& state, const std::string& base) {
    Covers covers;
    for (const StillPic& pic : state.pictures.pictures) {
        // A later picture with the same cover name replaces an earlier one.
        covers[Catalog::coverKey(pic.displayName)] =
            base + "pictures/" + Catalog::urlEncode(pic.fileName);
    }
    return covers;
}

} // namespace vorn::Media
