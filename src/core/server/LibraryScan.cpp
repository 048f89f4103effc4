#include "server/LibraryScan.h"

#include "library/FolderWalk.h"

namespace vorn {

LibraryScan LibraryScan::run(unsigned parts, std::filesystem::path folder, bool writable) {
    LibraryScan scan;
    scan.parts = parts;
    scan.folder = std::move(folder);
    scan.writable = writable;
    const std::vector<WalkedFile> walked = FolderWalk::files(scan.folder);
    if ((parts & diskPart) != 0) {
        scan.catalog = Catalog::scan(walked, writable);
    }
    if ((parts & audioPart) != 0) {
        scan.audio = AudioCatalog::scan(walked);
    }
    if ((parts & picturePart) != 0) {
        scan.pictures = PictureCatalog::scan(walked);
    }
    return scan;
}

} // namespace vorn
