#pragma once
// The volume catalog: the disk images the card may mount, in the order it sees them,
// with the JSON pages, searches and category views built from them.

#include "library/DiskImage.h"
#include "library/WalkedFile.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vorn {

/// Cover key (see DiskCatalog::coverKey) to the URL of a picture shown beside a volume.
using Covers = std::unordered_map<std::string, std::string>;

/// An immutable list of disk images plus the share's writable flag.
class DiskCatalog {
public:
    /// Volumes in one JSON page, as the card's volume list reads them (its media lists take
    /// 17: `MediaList::itemsPerPage`).
    static constexpr std::size_t volumesPerPage = 16;

    DiskCatalog() = default;
    /// Disambiguates the display names, then sorts by them (stable).
    DiskCatalog(std::vector<DiskImage> images, bool writable);

    /// Probes the walked files; those that are not images are left out.
    static DiskCatalog scan(const std::vector<WalkedFile>& files, bool writable);
    /// Adds " (folder)" to names that occur more than once, ignoring case, outside the root.
    static std::vector<DiskImage> disambiguate(std::vector<DiskImage> images);

    const std::vector<DiskImage>& images() const { return m_images; }
    /// Whether an image of this relPath is listed: the only files the share writes into.
    bool lists(std::string_view relPath) const;
    /// Whether the image of this relPath is a disk kept in DOS sector order, which the
    /// share reads and writes through its ProDOS view.
    bool dosOrdered(std::string_view relPath) const;
    /// How many of the walked files need Disk II emulation: the .woz and .nib files, and
    /// the .dsk and .do files the catalog does not list.
    std::int64_t skippedDiskII(const std::vector<WalkedFile>& files) const;
    bool writable() const { return m_writable; }
    /// Number of 16-entry pages; 1 when empty.
    std::int64_t pages() const;

    /// One page (from 1) of the whole catalog.
    std::string pageJSON(std::int64_t page, std::string_view baseURL, const Covers& covers) const;
    /// One page of the images matching `query`, within category `cat` when given.
    std::string searchJSON(std::string_view query, std::int64_t page, std::string_view baseURL,
                           const Covers& covers, const std::optional<std::string>& cat,
                           bool prefixSub) const;
    /// The images of a category folder and everything below it.
    std::vector<DiskImage> inCategory(std::string_view cat, bool prefixSub) const;

    /// The JSON text of a list of entries after the given head members.
    static std::string body(std::span<const DiskImage> entries, std::string_view baseURL,
                            bool writable, std::string_view head, const Covers& covers);
    /// The key under which a volume looks for its cover ("saga iv" for "Saga IV Dk1").
    static std::string coverKey(std::string_view displayName);
    /// The whole text percent-encoded, "/" included.
    static std::string urlEncode(std::string_view text);

    bool operator==(const DiskCatalog&) const = default;

private:
    std::vector<DiskImage> m_images;
    std::vector<std::string> m_relPaths;   // sorted, for `lists`
    std::vector<std::string> m_dosOrdered; // sorted
    bool m_writable = false;
};

} // namespace vorn
