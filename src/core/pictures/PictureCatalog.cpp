#include "pictures/PictureCatalog.h"

#include "library/CleanName.h"
#include "library/DiskImage.h"
#include "library/FileStamp.h"
#include "library/FolderWalk.h"
#include "library/JsonString.h"
#include "library/MediaList.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Files.h"

#include <algorithm>

namespace vorn {
namespace {

StillPic makePicture(const WalkedFile& file, std::string name, std::uint64_t bytes,
                     std::filesystem::path shr) {
    StillPic pic;
    pic.fileName = std::move(name);
    pic.folder = file.folder;
    pic.sourceName = file.fileName();
    pic.displayName = cleanName(pic.sourceName);
    pic.bytes = bytes;
    pic.previewPath = shr.string() + "_preview.png";
    pic.shrPath = std::move(shr);
    pic.sourcePath = file.path;
    const FileDates dates = FileStamp::of(file.path);
    pic.created = dates.created;
    pic.modified = dates.modified;
    return pic;
}

std::string renderPictures(std::span<const StillPic> slice, std::int64_t pages, std::size_t total,
                           const std::optional<std::string>& next, std::string_view baseURL) {
    std::vector<std::string> entries;
    for (const StillPic& pic : slice) {
        std::string url(baseURL);
        url += "pictures/" + FolderWalk::encodePath(pic.fileName);
        entries.push_back("  { \"name\": " + jsonString(pic.displayName) +
                          ", \"bytes\": " + std::to_string(pic.bytes) +
                          ", \"source\": \"lan\", \"url\": " + jsonString(url) + " }");
    }
    return MediaList::render(pages, total, next, "pictures", entries);
}

} // namespace

PictureCatalog PictureCatalog::scan(const std::vector<WalkedFile>& files,
                                    const PictureTranscoder& transcoder) {
    PictureCatalog catalog;
    const bool ready = transcoder.converterReady();
    for (MediaList::Claim& claim : MediaList::claims(files, "shr", StillPic::convertible)) {
        const WalkedFile& file = *claim.file;
        if (claim.readySize) {
            catalog.pictures.push_back(
                makePicture(file, std::move(claim.name), *claim.readySize, file.path));
            continue;
        }
        // A cache file of another size (a damaged one) makes the picture pending again.
        const StillPic::Knobs knobs = transcoder.knobs(file.path);
        const std::filesystem::path cache = transcoder.cachedSHR(file.path, knobs);
        if (Files::size(cache) == StillPic::shrBytes) {
            catalog.pictures.push_back(
                makePicture(file, std::move(claim.name), StillPic::shrBytes, cache));
        } else if (std::optional<std::string> why = transcoder.failure(file.path, knobs)) {
            // Said whether or not the converter is found now: the file made it fail.
            catalog.failed.push_back(cleanName(file.fileName()));
            catalog.failedReasons.push_back(std::move(*why));
        } else if (!ready) {
            ++catalog.awaitingConverter;
        } else {
            catalog.pending.push_back(cleanName(file.fileName()));
            catalog.pendingSources.push_back(file.path);
        }
    }
    MediaList::sortByDisplayName(catalog.pictures);
    std::sort(catalog.pending.begin(), catalog.pending.end());
    MediaList::sortFailures(catalog.failed, catalog.failedReasons);
    return catalog;
}

void PictureCatalog::kickConverts(PictureTranscoder& transcoder,
                                  const std::function<void()>& onReady,
                                  const std::function<void(const std::string&)>& onFailed) const {
    for (const std::filesystem::path& source : pendingSources) {
        transcoder.convert(source, transcoder.knobs(source), false, onReady, onFailed);
    }
}

std::int64_t PictureCatalog::pages() const {
    return Paging::pages(pictures.size(), MediaList::itemsPerPage);
}

std::string PictureCatalog::pageJSON(std::int64_t page, std::string_view baseURL) const {
    return MediaList::page(pictures, page, "vorn-pictures",
                           [&](auto slice, auto pages, auto total, const auto& next) {
                               return renderPictures(slice, pages, total, next, baseURL);
                           });
}

std::string PictureCatalog::searchJSON(std::string_view query, std::int64_t page,
                                       std::string_view baseURL,
                                       const std::optional<std::string>& cat,
                                       bool prefixSub) const {
    return MediaList::search(cat ? inCategory(*cat, prefixSub) : pictures, query, page,
                             [&](auto slice, auto pages, auto total, const auto& next) {
                                 return renderPictures(slice, pages, total, next, baseURL);
                             });
}

std::vector<StillPic> PictureCatalog::inCategory(std::string_view cat, bool prefixSub) const {
    return MediaList::inCategory(pictures, cat, prefixSub);
}

} // namespace vorn
