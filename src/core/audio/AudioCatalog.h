#pragma once
// The tracks the card can play, with their JSON pages, searches and category views.

#include "audio/AudioTrack.h"
#include "library/WalkedFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

class AudioTranscoder;

struct AudioCatalog {
    /// Playable tracks, sorted by display name.
    std::vector<AudioTrack> tracks;
    /// Display names of sources waiting for conversion, in plain string order.
    std::vector<std::string> pending;
    /// Display names of sources whose conversion failed (and is not tried again until the
    /// source changes), in plain string order.
    std::vector<std::string> failed;
    /// Why each of `failed` failed, in the same order, as the converter said.
    std::vector<std::string> failedReasons;
    /// Sources without converted audio while no ffmpeg is known.
    std::int64_t awaitingFFmpeg = 0;
    /// The library files behind `pending`, in walk order.
    std::vector<std::filesystem::path> pendingSources;

    /// Library ".pcm" files first, then sources converted by `transcoder`; a name is
    /// claimed once.
    static AudioCatalog scan(const std::vector<WalkedFile>& files,
                             const AudioTranscoder& transcoder);

    /// Asks the transcoder to convert every pending source; `onFailed` gets the log line
    /// of each conversion that fails.
    void kickTranscodes(AudioTranscoder& transcoder, const std::function<void()>& onReady,
                        const std::function<void(const std::string&)>& onFailed = {}) const;
    std::int64_t pages() const;
    /// One page (from 1), naming the next page when there is one.
    std::string pageJSON(std::int64_t page, std::string_view baseURL) const;
    /// The tracks whose display name contains the query; the page is kept within range.
    std::string searchJSON(std::string_view query, std::int64_t page, std::string_view baseURL,
                           const std::optional<std::string>& cat, bool prefixSub) const;
    std::vector<AudioTrack> inCategory(std::string_view cat, bool prefixSub) const;
    /// The answer where the card asks for radio stations: a LAN share has none.
    static std::string emptyStationsJSON();

    bool operator==(const AudioCatalog&) const = default;
};

} // namespace vorn
