#pragma once
// What one scan of the library found, as the window lists it: an immutable value that a
// rescan replaces whole, so it can be built off the GUI thread and handed over shared.

#include "TableKeys.h"
#include "audio/AudioCatalog.h"
#include "library/DiskImage.h"
#include "pictures/PictureCatalog.h"
#include "scan/Converters.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

struct LibraryScan;

struct LibraryContents {
    /// Shareable disk images, in catalog order.
    std::vector<DiskImage> images;
    /// Files skipped because they need Disk II emulation.
    std::int64_t rejected = 0;
    /// Ready tracks, audio still being transcoded, and files waiting for ffmpeg.
    AudioCatalog audio;
    /// Ready pictures, pictures still being converted, and those waiting for the converter.
    PictureCatalog stills;
    /// Every folder holding an image, track or picture, with its ancestors, sorted.
    std::vector<std::string> folders;

    const std::vector<AudioTrack>& tracks() const { return audio.tracks; }
    const std::vector<std::string>& pendingAudio() const { return audio.pending; }
    std::int64_t audioNeedsFFmpeg() const { return audio.awaitingFFmpeg; }
    const std::vector<StillPic>& pictures() const { return stills.pictures; }
    const std::vector<std::string>& pendingPics() const { return stills.pending; }
    std::int64_t picsNeedConverter() const { return stills.awaitingConverter; }

    /// What the window lists of a finished scan.
    static LibraryContents of(const LibraryScan& scan);

    /// Images, tracks and pictures of `kind` in `folder` or below it (the whole library
    /// when absent); pending items are not counted.
    std::int64_t count(const std::optional<std::string>& folder, KindFilter kind) const;
    /// Bootable images in `folder` or below it.
    std::int64_t bootableCount(const std::optional<std::string>& folder) const;
    /// Every image, track and picture.
    std::int64_t libraryCount() const;
};

} // namespace vorn
