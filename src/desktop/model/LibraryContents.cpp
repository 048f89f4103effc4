#include "LibraryContents.h"

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

} // namespace

LibraryContents::LibraryContents() : LibraryContents(std::make_shared<const LibraryScan>()) {}

LibraryContents::LibraryContents(std::shared_ptr<const LibraryScan> scan)
    : m_scan(std::move(scan)), m_folders(m_scan->sharedFolders()) {}

std::int64_t LibraryContents::count(const std::optional<std::string>& folder,
                                    KindFilter kind) const {
    std::int64_t n = 0;
    if (kind == KindFilter::all || kind == KindFilter::disks) {
        n += countIn(images(), folder);
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
    return std::int64_t(
        std::count_if(images().begin(), images().end(), [&](const DiskImage& image) {
            return image.bootable && inFolder(folder, image.folder);
        }));
}

std::int64_t LibraryContents::libraryCount() const {
    return std::int64_t(images().size() + tracks().size() + pictures().size());
}

} // namespace vorn
