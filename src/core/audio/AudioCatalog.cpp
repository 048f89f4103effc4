#include "audio/AudioCatalog.h"

#include "audio/AudioTranscoder.h"
#include "library/Catalog.h"
#include "library/DiskImage.h"
#include "library/FileStamp.h"
#include "library/FolderWalk.h"
#include "library/MediaList.h"
#include "platform/Files.h"

#include <algorithm>
#include <set>

namespace vorn {
namespace {

AudioTrack makeTrack(const WalkedFile& file, std::string name, std::uint64_t bytes,
                     std::filesystem::path pcm) {
    AudioTrack track;
    track.fileName = std::move(name);
    track.folder = file.folder;
    track.sourceName = file.fileName();
    track.displayName = DiskImage::cleanName(track.sourceName);
    track.sourceURL = file.url;
    track.bytes = bytes;
    track.pcmURL = std::move(pcm);
    const FileDates dates = FileStamp::of(file.url);
    track.created = dates.created;
    track.modified = dates.modified;
    return track;
}

bool convertible(const WalkedFile& file) {
    const std::string ext = FileName::lowerExtension(file.fileName());
    return std::find(AudioTrack::transcodeExtensions.begin(), AudioTrack::transcodeExtensions.end(),
                     ext) != AudioTrack::transcodeExtensions.end();
}

std::string renderTracks(std::span<const AudioTrack> slice, std::int64_t pages, std::size_t total,
                         const std::optional<std::string>& next, std::string_view baseURL) {
    std::vector<std::string> entries;
    for (const AudioTrack& track : slice) {
        std::string url(baseURL);
        url += "audio/" + FolderWalk::encodePath(track.fileName);
        entries.push_back("  { \"name\": " + Catalog::jsonString(track.displayName) +
                          ", \"bytes\": " + std::to_string(track.bytes) +
                          ", \"secs\": " + std::to_string(track.secs()) +
                          ", \"rate\": " + std::to_string(AudioTrack::rate) +
                          ", \"ch\": 1, \"source\": \"lan\", \"url\": " + Catalog::jsonString(url) +
                          " }");
    }
    return MediaList::render(pages, total, next, "audio", entries);
}

} // namespace

AudioCatalog AudioCatalog::scan(const std::filesystem::path& folder) {
    return scan(FolderWalk::files(folder));
}

AudioCatalog AudioCatalog::scan(const std::vector<WalkedFile>& files) {
    return scan(files, AudioTranscoder::shared());
}

AudioCatalog AudioCatalog::scan(const std::vector<WalkedFile>& files,
                                const AudioTranscoder& transcoder) {
    AudioCatalog catalog;
    const bool haveFFmpeg = transcoder.ffmpegPath().has_value();
    std::set<std::string> claimed;
    for (const WalkedFile& file : files) {
        if (FileName::lowerExtension(file.fileName()) != "pcm") {
            continue;
        }
        const std::optional<std::uint64_t> size = Files::size(file.url);
        if (!size || *size == 0 || !claimed.insert(file.relPath()).second) {
            continue;
        }
        catalog.tracks.push_back(makeTrack(file, file.relPath(), *size, file.url));
    }
    for (const WalkedFile& file : files) {
        if (!convertible(file)) {
            continue;
        }
        std::string name = FileName::relPath(file.folder, FileName::stem(file.fileName())) + ".pcm";
        if (!claimed.insert(name).second) {
            continue;
        }
        const std::filesystem::path cache = AudioTranscoder::cachedPCM(file.url);
        if (const auto size = Files::size(cache); size && *size > 0) {
            catalog.tracks.push_back(makeTrack(file, std::move(name), *size, cache));
        } else if (!haveFFmpeg) {
            ++catalog.awaitingFFmpeg;
        } else {
            catalog.pending.push_back(DiskImage::cleanName(file.fileName()));
            catalog.pendingSources.push_back(file.url);
        }
    }
    MediaList::sortByDisplayName(catalog.tracks);
    std::sort(catalog.pending.begin(), catalog.pending.end());
    return catalog;
}

void AudioCatalog::kickTranscodes(const std::function<void()>& onReady) const {
    for (const std::filesystem::path& source : pendingSources) {
        AudioTranscoder::shared().transcode(source, onReady);
    }
}

std::int64_t AudioCatalog::pages() const {
    return Paging::pages(tracks.size(), entriesPerPage);
}

std::string AudioCatalog::pageJSON(std::int64_t page, std::string_view baseURL) const {
    return renderTracks(Paging::slice(std::span<const AudioTrack>(tracks), page, entriesPerPage),
                        pages(), tracks.size(),
                        MediaList::nextPage("vorn-audio", page, tracks.size()), baseURL);
}

std::string AudioCatalog::searchJSON(std::string_view query, std::int64_t page,
                                     std::string_view baseURL,
                                     const std::optional<std::string>& cat, bool prefixSub) const {
    const std::vector<AudioTrack> found =
        MediaList::matching(cat ? inCategory(*cat, prefixSub) : tracks, query);
    const std::int64_t shown = MediaList::clampedPage(page, found.size());
    return renderTracks(Paging::slice(std::span<const AudioTrack>(found), shown, entriesPerPage),
                        Paging::pages(found.size(), entriesPerPage), found.size(), std::nullopt,
                        baseURL);
}

std::vector<AudioTrack> AudioCatalog::inCategory(std::string_view cat, bool prefixSub) const {
    return MediaList::inCategory(tracks, cat, prefixSub);
}

std::string AudioCatalog::emptyStationsJSON() {
    return "{ \"pages\": 1, \"total\": 0, \"catalog\": \"stations\", \"tracks\": [] }\n";
}

} // namespace vorn
