#pragma once
// The pictures the card can show, with their JSON pages, searches and category views.

#include "library/WalkedFile.h"
#include "pictures/StillPic.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class PictureTranscoder;

struct PictureCatalog {
    /// Servable pictures, sorted by display name.
    std::vector<StillPic> pictures;
    /// Display names of pictures waiting for conversion, in plain string order.
    std::vector<std::string> pending;
    /// Display names of pictures whose conversion with their knobs failed (and is not tried
    /// again until the picture or its knobs change), in plain string order.
    std::vector<std::string> failed;
    /// Why each of `failed` failed, in the same order, as the converter said.
    std::vector<std::string> failedReasons;
    /// Convertible pictures without a complete cache file while the converter is missing.
    std::int64_t awaitingConverter = 0;
    /// The library files behind `pending`, in walk order.
    std::vector<std::filesystem::path> pendingSources;

    /// Library ".shr" files first, then pictures converted by `transcoder` with their
    /// knobs; a name is claimed once.
    static PictureCatalog scan(const std::vector<WalkedFile>& files,
                               const PictureTranscoder& transcoder);

    /// Asks the transcoder to convert every pending picture with its knobs; `onFailed`
    /// gets the log line of each conversion that fails.
    void kickConverts(PictureTranscoder& transcoder, const std::function<void()>& onReady,
                      const std::function<void(const std::string&)>& onFailed = {}) const;
    std::int64_t pages() const;
    /// One page (from 1), naming the next page when there is one.
    std::string pageJSON(std::int64_t page, std::string_view baseURL) const;
    /// The pictures whose display name contains the query; the page is kept within range.
    std::string searchJSON(std::string_view query, std::int64_t page, std::string_view baseURL,
                           const std::optional<std::string>& cat, bool prefixSub) const;
    std::vector<StillPic> inCategory(std::string_view cat, bool prefixSub) const;

    bool operator==(const PictureCatalog&) const = default;
};

} // namespace vorn
