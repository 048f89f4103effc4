#include "scan/LibraryScan.h"

#include "library/FolderWalk.h"

#include <algorithm>

namespace vorn {

LibraryScan LibraryScan::run(Converters converters, std::filesystem::path folder, bool writable,
                             unsigned parts) {
    LibraryScan scan;
    scan.parts = parts;
    scan.folder = std::move(folder);
    scan.writable = writable;
    const std::vector<WalkedFile> walked = FolderWalk::files(scan.folder);
    if ((parts & diskPart) != 0) {
        scan.catalog = Catalog::scan(walked, writable);
        scan.diskIIFiles = std::count_if(walked.begin(), walked.end(), [](const WalkedFile& f) {
            return DiskImage::needsDiskII(f.fileName());
        });
    }
    if ((parts & audioPart) != 0) {
        scan.audio = AudioCatalog::scan(walked, converters.audio);
    }
    if ((parts & picturePart) != 0) {
        scan.pictures = PictureCatalog::scan(walked, converters.pictures);
    }
    return scan;
}

std::vector<std::string> LibraryScan::sharedFolders() const {
    return FolderWalk::sharedFolders(catalog.images(), audio.tracks, pictures.pictures);
}

std::string LibraryScan::yourHubJSON(YourHub::Kind kind, const HubConfig& hub) const {
    return YourHub::json(hub, kind, catalog.images(), audio.tracks, pictures.pictures);
}

void LibraryScan::kickConversions(
    Converters converters, const std::function<void()>& onAudioReady,
    const std::function<void()>& onPicturesReady,
    const std::function<void(const std::string&)>& onAudioFailed,
    const std::function<void(const std::string&)>& onPictureFailed) const {
    audio.kickTranscodes(converters.audio, onAudioReady, onAudioFailed);
    pictures.kickConverts(converters.pictures, onPicturesReady, onPictureFailed);
}

} // namespace vorn
