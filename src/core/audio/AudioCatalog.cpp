#include "audio/AudioCatalog.h"

#include "audio/AudioTranscoder.h"
#include "library/CleanName.h"
#include "library/DiskImage.h"
#include "library/FileStamp.h"
#include "library/FolderWalk.h"
#include "library/JsonString.h"
#include "library/MediaList.h"
#include "platform/Files.h"

#include <algorithm>

namespace vorn {
namespace {

AudioTrack makeTrack(const WalkedFile& file, std::string name, std::uint64_t bytes,
                     std::filesystem::path pcm) {
    AudioTrack track;
    track.fileName = std::move(name);
    track.folder = file.folder;
    track.sourceName = file.fileName();
    track.displayName = cleanName(track.sourceName);
    track.sourcePath = file.path;
    track.bytes = bytes;
    track.pcmPath = std::move(pcm);
    const FileDates dates = FileStamp::of(file.path);
    track.created = dates.created;
    track.modified = dates.modified;
    return track;
}

std::string renderTracks(std::span<const AudioTrack> slice, std::int64_t pages, std::size_t total,
                         const std::optional<std::string>& next, std::string_view baseURL) {
    std::vector<std::string> entries;
    for (const AudioTrack& track : slice) {
        std::string url(baseURL);
        url += "audio/" + FolderWalk::encodePath(track.fileName);
        entries.push_back("  { \"name\": " + jsonString(track.displayName) +
                          ", \"bytes\": " + std::to_string(track.bytes) +
                          ", \"secs\": " + std::to_string(track.secs()) +
                          ", \"rate\": " + std::to_string(AudioTrack::rate) +
                          ", \"ch\": 1, \"source\": \"lan\", \"url\": " + jsonString(url) + " }");
    }
    return MediaList::render(pages, total, next, "audio", entries);
}

} // namespace

bool AudioTrack::convertible(std::string_view fileName) {
    const std::string ext = FileName::lowerExtension(fileName);
    return std::find(transcodeExtensions.begin(), transcodeExtensions.end(), ext) !=
           transcodeExtensions.end();
}

AudioCatalog AudioCatalog::scan(const std::vector<WalkedFile>& files,
                                const AudioTranscoder& transcoder) {
    AudioCatalog catalog;
    const bool haveFFmpeg = transcoder.ffmpegPath().has_value();
    for (MediaList::Claim& claim : MediaList::claims(files, "pcm", AudioTrack::convertible)) {
        const WalkedFile& file = *claim.file;
        if (claim.readySize) {
            catalog.tracks.push_back(
                makeTrack(file, std::move(claim.name), *claim.readySize, file.path));
            continue;
        }
        const std::filesystem::path cache = transcoder.cachedPCM(file.path);
        if (const auto size = Files::size(cache); size && *size > 0) {
            catalog.tracks.push_back(makeTrack(file, std::move(claim.name), *size, cache));
        } else if (std::optional<std::string> why = transcoder.failure(file.path)) {
            // Said whether or not ffmpeg is found now: the file made it fail.
            catalog.failed.push_back(cleanName(file.fileName()));
            catalog.failedReasons.push_back(std::move(*why));
        } else if (!haveFFmpeg) {
            ++catalog.awaitingFFmpeg;
        } else {
            catalog.pending.push_back(cleanName(file.fileName()));
            catalog.pendingSources.push_back(file.path);
        }
    }
    MediaList::sortByDisplayName(catalog.tracks);
    std::sort(catalog.pending.begin(), catalog.pending.end());
    MediaList::sortFailures(catalog.failed, catalog.failedReasons);
    return catalog;
}

void AudioCatalog::kickTranscodes(AudioTranscoder& transcoder, const std::function<void()>& onReady,
                                  const std::function<void(const std::string&)>& onFailed) const {
    for (const std::filesystem::path& source : pendingSources) {
        transcoder.transcode(source, onReady, onFailed);
    }
}

std::int64_t AudioCatalog::pages() const {
    return Paging::pages(tracks.size(), MediaList::itemsPerPage);
}

std::string AudioCatalog::pageJSON(std::int64_t page, std::string_view baseURL) const {
    return MediaList::page(tracks, page, "vorn-audio",
                           [&](auto slice, auto pages, auto total, const auto& next) {
                               return renderTracks(slice, pages, total, next, baseURL);
                           });
}

std::string AudioCatalog::searchJSON(std::string_view query, std::int64_t page,
                                     std::string_view baseURL,
                                     const std::optional<std::string>& cat, bool prefixSub) const {
    return MediaList::search(cat ? inCategory(*cat, prefixSub) : tracks, query, page,
                             [&](auto slice, auto pages, auto total, const auto& next) {
                                 return renderTracks(slice, pages, total, next, baseURL);
                             });
}

std::vector<AudioTrack> AudioCatalog::inCategory(std::string_view cat, bool prefixSub) const {
    return MediaList::inCategory(tracks, cat, prefixSub);
}

std::string AudioCatalog::emptyStationsJSON() {
    return "{ \"pages\": 1, \"total\": 0, \"catalog\": \"stations\", \"tracks\": [] }\n";
}

} // namespace vorn
