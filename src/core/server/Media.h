#pragma once
// Audio and pictures in the share: their catalog pages and searches, their downloads
// from the conversion caches, and the covers that pair pictures with disk images.

#include "library/DiskCatalog.h"
#include "server/Answer.h"
#include "server/Request.h"
#include "server/ShareState.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

/// What a "/search" asks for, as the router read it from the query.
struct SearchTerms {
    /// "q" as sent; empty when absent.
    std::string query;
    /// "p" as sent, 1 when absent or not a number; the catalogs are asked for at least 1.
    std::int64_t page = 1;
    /// "cat"; absent when empty.
    std::optional<std::string> cat;

    /// How the log shows the search: "\"q\" cat \"Games\" p2".
    std::string logged() const;
};

namespace Media {

/// A page of the audio catalog: "/vorn-audio.json" is page 1, "/vorn-audio-N.json" page N
/// as parsed (logged so, served as at least 1).
Answer audioPage(ShareState& state, const Request& request, const std::string& base,
                 std::int64_t page);
/// A page of the picture catalog, "/vorn-pictures.json" and "/vorn-pictures-N.json".
Answer picturesPage(ShareState& state, const Request& request, const std::string& base,
                    std::int64_t page);
/// The audio search ("/search?i=a").
Answer audioSearch(ShareState& state, const Request& request, const std::string& base,
                   const SearchTerms& terms);
/// The stations search ("/search?i=s"): always empty, a LAN share has no stations.
Answer stationsSearch(ShareState& state, const Request& request, const SearchTerms& terms);
/// The picture search ("/search?i=p").
Answer picturesSearch(ShareState& state, const Request& request, const std::string& base,
                      const SearchTerms& terms);
/// GET or HEAD of "/audio/" + a track's name: its PCM data.
Answer serveAudio(ShareState& state, const Request& request);
/// GET or HEAD of "/pictures/" + a picture's name: its SHR screen.
Answer servePicture(ShareState& state, const Request& request);
/// Cover name (see DiskCatalog::coverKey) to the download URL of a picture.
Covers coverMap(const ShareState& state, const std::string& base);

} // namespace Media
} // namespace vorn
