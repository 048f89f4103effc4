#pragma once
// A small library built in memory for the table tests: three images (one bootable, one
// without a volume name in the root), a track, a picture, and one audio file and one
// picture still converting, named so that name order alone would put them first.

#include "model/LibraryContents.h"
#include "model/LibraryTable.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace vorn::test {

/// Noon (UTC) of a day in January 2026, so the local date is that day in most zones.
inline Date january(int day) {
    using namespace std::chrono;
    return sys_days(year(2026) / January / day) + hours(12);
}

inline DiskImage image(const std::string& name, const std::string& folder, std::uint64_t blocks,
                       bool bootable, std::optional<std::string> volume, int day) {
    DiskImage i;
    i.fileName = name + ".po";
    i.folder = folder;
    i.path = (folder.empty() ? "" : folder + "/") + i.fileName;
    i.displayName = name;
    i.blocks = blocks;
    i.bytes = blocks * 512;
    i.bootable = bootable;
    i.volumeName = std::move(volume);
    i.created = i.modified = january(day);
    return i;
}

/// The lists of a scan, as a test writes them; `shared` makes the scan and its view.
struct ScanLists {
    std::vector<DiskImage> images;
    AudioCatalog audio;
    PictureCatalog stills;

    /// Every item moved to the library's root: a library without subfolders.
    void flatten() {
        for (DiskImage& i : images) {
            i.folder.clear();
        }
        for (AudioTrack& t : audio.tracks) {
            t.folder.clear();
        }
        for (StillPic& p : stills.pictures) {
            p.folder.clear();
        }
    }
};

inline ScanLists sampleContents() {
    ScanLists c;
    c.images = {image("Zork", "Games", 280, true, "ZORK", 5),
                image("alpha", "", 1600, false, std::nullopt, 3),
                image("Beta", "Games/Arcade", 65535, false, "BETA", 4)};
    AudioTrack song;
    song.fileName = "Music/Song.pcm";
    song.folder = "Music";
    song.displayName = "Song";
    song.bytes = 21973 * 61;
    song.created = song.modified = january(2);
    c.audio.tracks = {song};
    c.audio.pending = {"Anthem"};
    StillPic pic;
    pic.fileName = "Art/Art Pic.shr";
    pic.folder = "Art";
    pic.displayName = "Art Pic";
    pic.bytes = StillPic::shrBytes;
    pic.created = pic.modified = january(1);
    c.stills.pictures = {pic};
    c.stills.pending = {"Abstract"};
    return c;
}

inline std::shared_ptr<const LibraryContents> shared(ScanLists c) {
    auto scan = std::make_shared<LibraryScan>();
    scan->catalog = DiskCatalog(std::move(c.images), false);
    scan->audio = std::move(c.audio);
    scan->pictures = std::move(c.stills);
    return std::make_shared<const LibraryContents>(std::move(scan));
}

/// The names of the rows in table order.
inline std::vector<std::string> names(const std::vector<TableRow>& rows) {
    std::vector<std::string> out;
    for (const TableRow& row : rows) {
        out.push_back(row.name());
    }
    return out;
}

} // namespace vorn::test
