#include "server/Media.h"

#include "server/DiskIO.h"
#include "server/Http.h"

#include <algorithm>

namespace vorn {
namespace {

Answer json(const Request& request, const std::string& body) {
    return {Http::answer(request, 200, "application/json", body), std::nullopt, 0, 0};
}

std::string inQuotes(std::string_view text) {
    std::string out = "\"";
    return out.append(text).append("\"");
}

std::int64_t atLeastOne(std::int64_t page) {
    return std::max<std::int64_t>(page, 1);
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

template <class Item, class PathOf>
Answer serveItem(ShareState& state, const Request& request, std::string_view prefix,
                 const std::vector<Item>& items, PathOf pathOf) {
    const auto [item, name] = namedItem(request, prefix, items);
    if (item == nullptr) {
        return DiskIO::serveFile(state, request, std::nullopt, std::nullopt);
    }
    // Recorded as "audio/" + name.
    return DiskIO::serveFile(state, request, state.files.file(pathOf(*item)),
                             std::string(prefix.substr(1)) + name);
}

} // namespace

std::string SearchTerms::logged() const {
    const std::string catNote = cat ? " cat " + inQuotes(*cat) : "";
    return inQuotes(query) + catNote + " p" + std::to_string(page);
}

namespace Media {

Answer audioPage(ShareState& state, const Request& request, const std::string& base,
                 std::int64_t page) {
    state.log("audio page " + std::to_string(page));
    return json(request, state.audio().pageJSON(atLeastOne(page), base));
}

Answer picturesPage(ShareState& state, const Request& request, const std::string& base,
                    std::int64_t page) {
    state.log("pictures page " + std::to_string(page));
    return json(request, state.pictures().pageJSON(atLeastOne(page), base));
}

Answer audioSearch(ShareState& state, const Request& request, const std::string& base,
                   const SearchTerms& terms) {
    state.log("audio search " + terms.logged());
    return json(request, state.audio().searchJSON(terms.query, atLeastOne(terms.page), base,
                                                  terms.cat, state.effectiveHub().prefixSubfolder));
}

Answer stationsSearch(ShareState& state, const Request& request, const SearchTerms& terms) {
    state.log("stations search " + inQuotes(terms.query) + " (none on a LAN share)");
    return json(request, AudioCatalog::emptyStationsJSON());
}

Answer picturesSearch(ShareState& state, const Request& request, const std::string& base,
                      const SearchTerms& terms) {
    state.log("pictures search " + terms.logged());
    return json(request,
                state.pictures().searchJSON(terms.query, atLeastOne(terms.page), base, terms.cat,
                                            state.effectiveHub().prefixSubfolder));
}

Answer serveAudio(ShareState& state, const Request& request) {
    return serveItem(state, request, "/audio/", state.audio().tracks,
                     [](const AudioTrack& track) { return track.pcmPath; });
}

Answer servePicture(ShareState& state, const Request& request) {
    return serveItem(state, request, "/pictures/", state.pictures().pictures,
                     [](const StillPic& pic) { return pic.shrPath; });
}

Covers coverMap(const ShareState& state, const std::string& base) {
    Covers covers;
    for (const StillPic& pic : state.pictures().pictures) {
        // A later picture with the same cover name replaces an earlier one.
        covers[DiskCatalog::coverKey(pic.displayName)] =
            base + "pictures/" + DiskCatalog::urlEncode(pic.fileName);
    }
    return covers;
}

} // namespace Media
} // namespace vorn
