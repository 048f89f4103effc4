#include "library/DiskImage.h"

#include "library/CleanName.h"
#include "library/DosOrder.h"
#include "library/FileName.h"
#include "library/FileStamp.h"
#include "platform/Text.h"

#include <algorithm>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unicode/utf8.h>
#include <unistd.h>

namespace vorn {
namespace {

constexpr std::size_t kBlock = 512;
constexpr std::uint64_t kTwoImgHeader = 64;
constexpr std::size_t kEntryLength = 39;
constexpr int kEntriesPerBlock = 13;

unsigned byteAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

// Reads up to DiskImage::headBytes from the start of the file; empty when unreadable.
std::string readHead(const std::filesystem::path& path) {
    std::string head(DiskImage::headBytes, '\0');
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = read(fd, head.data() + got, head.size() - got);
        if (n <= 0) {
            if (n < 0) {
                got = 0;
            }
            break;
        }
        got += std::size_t(n);
    }
    close(fd);
    head.resize(got);
    return head;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Visits the thirteen entries of one directory block.
void readDirectoryBlock(std::string_view block, BootInfo& info, bool& hasProDOS, bool& hasSystem) {
    for (int i = 0; i < kEntriesPerBlock; ++i) {
        const std::string_view entry =
            block.substr(4 + kEntryLength * std::size_t(i), kEntryLength);
        const unsigned length = byteAt(entry, 0) & 0x0F;
        const unsigned storage = byteAt(entry, 0) >> 4;
        if (length == 0 || storage == 0) {
            continue;
        }
        const std::string name = Text::upper(Text::validUtf8(entry.substr(1, length)));
        if (storage == 0x0F) {
            info.volumeName = name;
            continue;
        }
        if (name == "PRODOS") {
            hasProDOS = true;
        }
        if (byteAt(entry, 16) == 0xFF && endsWith(name, ".SYSTEM")) {
            hasSystem = true;
        }
    }
}

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& set, std::string_view ext) {
    return std::find(set.begin(), set.end(), ext) != set.end();
}

enum class SectorOrder { proDos, dos, neither };

// A .dsk or .do file may hold its blocks in ProDOS order as they are, or in DOS 3.3
// sector order; which one puts a volume directory key block at block 2 decides. A DOS 3.3
// disk (its catalog lives on track 17), a copy-protected or an empty disk has none there.
SectorOrder sectorOrder(std::string_view head) {
    if (head.size() < DosOrder::trackBytes) {
        return SectorOrder::neither;
    }
    if (DiskImage::volumeDirectoryKey(head.substr(2 * kBlock, kBlock))) {
        return SectorOrder::proDos;
    }
    const std::string firstTrack = DosOrder::toProDos(head.substr(0, DosOrder::trackBytes));
    return DiskImage::volumeDirectoryKey(std::string_view(firstTrack).substr(2 * kBlock, kBlock))
               ? SectorOrder::dos
               : SectorOrder::neither;
}

// The first bytes of an image as the card sees them.
struct ImageHead {
    std::string bytes;
    /// Where block 0 starts in `bytes`.
    std::uint64_t offset = 0;
    bool dosOrder = false;
};

// Absent for a .dsk or .do file (`sectors`) that holds no ProDOS volume.
std::optional<ImageHead> readImageHead(const std::filesystem::path& path, std::uint64_t size,
                                       bool sectors) {
    ImageHead head{readHead(path)};
    if (!sectors) {
        head.offset = DiskImage::dataOffset(head.bytes, size);
        return head;
    }
    const SectorOrder order = sectorOrder(head.bytes);
    if (order == SectorOrder::neither) {
        return std::nullopt;
    }
    head.dosOrder = order == SectorOrder::dos;
    if (head.dosOrder) {
        head.bytes = DosOrder::toProDos(head.bytes);
    }
    return head;
}

} // namespace

std::string DiskImage::relPath() const {
    return FileName::relPath(folder, fileName);
}

bool DiskImage::needsDiskII(std::string_view fileName) {
    return contains(rejectedExtensions, FileName::lowerExtension(fileName));
}

std::uint32_t readLE32(std::string_view bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) {
        return 0;
    }
    return std::uint32_t(byteAt(bytes, at)) | std::uint32_t(byteAt(bytes, at + 1)) << 8 |
           std::uint32_t(byteAt(bytes, at + 2)) << 16 | std::uint32_t(byteAt(bytes, at + 3)) << 24;
}

std::uint64_t DiskImage::dataOffset(std::string_view head, std::uint64_t fileBytes) {
    if (head.size() < kTwoImgHeader || !head.starts_with("2IMG")) {
        return 0;
    }
    const std::uint64_t d = readLE32(head, 24);
    return (d < kTwoImgHeader || d >= fileBytes) ? kTwoImgHeader : d;
}

BootInfo DiskImage::bootProbe(std::string_view head, std::uint64_t dataOffset) {
    BootInfo info;
    if (dataOffset > head.size() || head.size() - dataOffset < kBlock) {
        return info;
    }
    const std::string_view img = head.substr(std::size_t(dataOffset));
    if (byteAt(img, 0) != 0x01) {
        return info;
    }
    bool hasProDOS = false;
    bool hasSystem = false;
    std::set<std::size_t> visited;
    // The visited set and the head's size bound the walk, whatever the pointers say.
    for (std::size_t b = 2; b != 0;) {
        if (visited.contains(b) || img.size() < b * kBlock + kBlock) {
            break;
        }
        visited.insert(b);
        const std::string_view block = img.substr(b * kBlock, kBlock);
        readDirectoryBlock(block, info, hasProDOS, hasSystem);
        b = byteAt(block, 2) | byteAt(block, 3) << 8;
    }
    info.bootable = hasProDOS || hasSystem;
    return info;
}

bool DiskImage::volumeDirectoryKey(std::string_view block) {
    if (block.size() < kBlock) {
        return false;
    }
    const unsigned header = byteAt(block, 4);
    return byteAt(block, 0) == 0 && byteAt(block, 1) == 0 && header >> 4 == 0x0F &&
           (header & 0x0F) != 0 && byteAt(block, 0x23) == kEntryLength &&
           byteAt(block, 0x24) == unsigned(kEntriesPerBlock);
}

std::optional<DiskImage> DiskImage::probe(const std::filesystem::path& path,
                                          const std::string& folder) {
    std::string fileName = path.filename().string();
    const std::string ext = FileName::lowerExtension(fileName);
    const bool sectors = contains(sectorExtensions, ext);
    if (!sectors && !contains(extensions, ext)) {
        return std::nullopt;
    }
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_SIZE | STATX_BTIME | STATX_MTIME, &info) != 0 ||
        (info.stx_mask & STATX_SIZE) == 0 || info.stx_size < kBlock ||
        (sectors && info.stx_size != DosOrder::diskBytes)) {
        return std::nullopt;
    }
    const std::optional<ImageHead> head = readImageHead(path, info.stx_size, sectors);
    if (!head) {
        return std::nullopt;
    }
    DiskImage image;
    image.dosOrder = head->dosOrder;
    image.path = path;
    image.folder = folder;
    image.bytes = info.stx_size;
    const FileDates dates = FileStamp::of(info);
    image.created = dates.created;
    image.modified = dates.modified;
    image.blocks = (image.bytes - std::min(head->offset, image.bytes)) / kBlock;
    const BootInfo boot = bootProbe(head->bytes, head->offset);
    image.bootable = boot.bootable;
    image.volumeName = boot.volumeName;
    image.displayName = cleanName(fileName);
    image.fileName = std::move(fileName);
    // Asked of the kernel rather than read from the mode bits: root may write files
    // whose bits say otherwise, and nobody may write an immutable one.
    image.writable = faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
    return image;
}

} // namespace vorn
