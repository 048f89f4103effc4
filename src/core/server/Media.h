#pragma once
// Audio and pictures in the share: their catalog pages and searches, their downloads
// from the conversion caches, and the covers that pair pictures with disk images.

#include "library/Catalog.h"
#include "server/Answer.h"
#include "server/Request.h"
#include "server/ShareState.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vorn::Media {

/// The audio and picture catalog pages ("/vorn-audio.json", "/vorn-pictures-2.json"...);
/// absent for other paths.
std::optional<Answer> catalogPage(ShareState& state, const Request& request,
                                  const std::string& base);
/// The audio ("a"), stations ("s") and pictures ("p") searches; absent for other selectors.
std::optional<Answer> search(ShareState& state, const Request& request, const std::string& base,
                             const std::string& query, std::int64_t page,
                             const std::optional<std::string>& cat);
/// GET or HEAD of "/audio/" + a track's name: its PCM data.
Answer serveAudio(ShareState& state, const Request& request);
/// GET or HEAD of "/pictures/" + a picture's name: its SHR screen.
Answer servePicture(ShareState& state, const Request& request);
/// Cover name (see Catalog::coverKey) to the download URL of a picture.
Covers coverMap(const ShareState& state, const std::string& base);

} // namespace vorn::Media
