#include "ScanReport.h"

#include "platform/SizeText.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vorn {
namespace {

constexpr std::size_t kColumns = 6;
using Row = std::array<std::string, kColumns>;

// Terminal columns taken by a UTF-8 text: one per code point is close enough here.
std::size_t width(const std::string& text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string pad(const std::string& text, std::size_t to, bool right) {
    const std::string fill(to > width(text) ? to - width(text) : 0, ' ');
    return right ? fill + text : text + fill;
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string readableSize(std::uint64_t bytes) {
    return SizeText::withBytes(bytes, "bytes");
}

std::string scanReport(const DiskCatalog& catalog, std::size_t skippedDiskII) {
    static constexpr std::array<bool, kColumns> rightAligned{false, false, true,
                                                             false, true,  false};
    std::vector<Row> rows{{"NAME", "VOLUME", "BLOCKS", "BOOT", "SIZE", "FOLDER"}};
    for (const DiskImage& image : catalog.images()) {
        rows.push_back({image.displayName, image.volumeName.value_or("-"),
                        std::to_string(image.blocks), image.bootable ? "yes" : "no",
                        readableSize(image.bytes), image.folder.empty() ? "/" : image.folder});
    }
    std::array<std::size_t, kColumns> widths{};
    for (const Row& row : rows) {
        for (std::size_t c = 0; c < kColumns; ++c) {
            widths[c] = std::max(widths[c], width(row[c]));
        }
    }
    std::string out;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < kColumns; ++c) {
            line += (c == 0 ? "" : "  ") +
                    pad(row[c], c + 1 == kColumns ? 0 : widths[c], rightAligned[c]);
        }
        out += line + "\n";
    }
    out += plural(catalog.images().size(), "disk image", "disk images") + " shared; " +
           plural(skippedDiskII, "file", "files") +
           " skipped, needing Disk II emulation (.dsk, .do, .woz, .nib)\n";
    return out;
}

std::string failedReport(const AudioCatalog& audio, const PictureCatalog& pictures) {
    const std::size_t n = audio.failed.size() + pictures.failed.size();
    if (n == 0) {
        return {};
    }
    std::string out = plural(n, "conversion", "conversions") +
                      " failed, not tried again until its file changes or the tools are "
                      "rechecked:\n";
    for (const auto* list : {&audio.failed, &pictures.failed}) {
        const auto& reasons = list == &audio.failed ? audio.failedReasons : pictures.failedReasons;
        for (std::size_t i = 0; i < list->size(); ++i) {
            out += "  " + (*list)[i] + ": " + reasons[i] + "\n";
        }
    }
    return out;
}

} // namespace vorn
