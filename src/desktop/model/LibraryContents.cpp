#include "LibraryContents.h"

#include "library/Catalog.h"
#include "library/FolderWalk.h"
#include "library/HubConfig.h"

#include <algorithm>

namespace vorn {
namespace {

bool inFolder(const std::optional<std::string>& folder, std::string_view itemFolder) {
    return !folder || HubConfig::under(itemFolder, *folder);
}

template <class T>
std::int64_t countIn(const std::vector<T>& items, const std::optional<std::string>& folder) {
    return std::int64_t(std::count_if(
        items.begin(), items.end(), [&](const T& item) { return inFolder(folder, item.folder); }));
}

std::vector<std::string> foldersOf(const LibraryContents& c) {
    std::vector<std::string> dirs;
    dirs.reserve(c.images.size() + c.tracks().size() + c.pictures().size());
    for (const DiskImage& image : c.images) {
        dirs.push_back(image.folder);
    }
    for (const AudioTrack& track : c.tracks()) {
        dirs.push_back(track.folder);
    }
    for (const StillPic& picture : c.pictures()) {
        dirs.push_back(picture.folder);
    }
    return FolderWalk::foldersFromDirs(dirs);
}

} // namespace

LibraryContents LibraryContents::scan(const std::filesystem::path& folder, bool writable) {
    return scan(folder, writable, AudioTranscoder::shared(), PictureTranscoder::shared());
}

LibraryContents LibraryContents::scan(const std::filesystem::path& folder, bool writable,
                                      const AudioTranscoder& audioTranscoder,
                                      const PictureTranscoder& pictureTranscoder) {
    LibraryContents c;
    if (folder.empty()) {
        return c;
    }
    const std::vector<WalkedFile> files = FolderWalk::files(folder);
    c.images = Catalog::scan(files, writable).images();
    c.rejected = std::int64_t(std::count_if(files.begin(), files.end(), [](const WalkedFile& f) {
        return DiskImage::needsDiskII(f.fileName());
    }));
    c.audio = AudioCatalog::scan(files, audioTranscoder);
    c.stills = PictureCatalog::scan(files, pictureTranscoder);
    c.folders = foldersOf(c);
    return c;
}

void LibraryContents::kickConversions(const std::function<void()>& onReady) const {
    audio.kickTranscodes(onReady);
    stills.kickConverts(onReady);
}

void LibraryContents::kickConversions(AudioTranscoder& audioTranscoder,
                                      PictureTranscoder& pictureTranscoder,
                                      const std::function<void()>& onDone) const {
    const auto failed = [onDone](const std::string&) { onDone(); };
    for (const std::filesystem::path& source : audio.pendingSources) {
        audioTranscoder.transcode(source, onDone, failed);
    }
    for (const std::filesystem::path& source : stills.pendingSources) {
        pictureTranscoder.convert(source, PictureTranscoder::knobs(source), false, onDone, failed);
    }
}

std::int64_t LibraryContents::count(const std::optional<std::string>& folder,
                                    KindFilter kind) const {
    std::int64_t n = 0;
    if (kind == KindFilter::all || kind == KindFilter::disks) {
        n += countIn(images, folder);
    }
    if (kind == KindFilter::all || kind == KindFilter::audio) {
        n += countIn(tracks(), folder);
    }
    if (kind == KindFilter::all || kind == KindFilter::pictures) {
        n += countIn(pictures(), folder);
    }
    return n;
}

std::int64_t LibraryContents::bootableCount(const std::optional<std::string>& folder) const {
    return std::int64_t(std::count_if(images.begin(), images.end(), [&](const DiskImage& image) {
        return image.bootable && inFolder(folder, image.folder);
    }));
}

std::int64_t LibraryContents::libraryCount() const {
    return std::int64_t(images.size() + tracks().size() + pictures().size());
}

} // namespace vorn
