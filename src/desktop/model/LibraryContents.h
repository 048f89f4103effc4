#pragma once
// What one scan of the library found, as the window lists it: a view of the scan itself,
// which is immutable and shared with the share that serves it. A rescan replaces it whole,
// so it can be built off the GUI thread and handed over shared.

#include "TableKeys.h"
#include "audio/AudioCatalog.h"
#include "library/DiskImage.h"
#include "pictures/PictureCatalog.h"
#include "scan/LibraryScan.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

class LibraryContents {
public:
    /// An empty library: no folder chosen.
    LibraryContents();
    /// The window's view of a finished scan (never null).
    explicit LibraryContents(std::shared_ptr<const LibraryScan> scan);

    /// The scan viewed, the same value the share serves.
    const std::shared_ptr<const LibraryScan>& scan() const { return m_scan; }

    /// Shareable disk images, in catalog order.
    const std::vector<DiskImage>& images() const { return m_scan->catalog.images(); }
    /// Files skipped because they need Disk II emulation.
    std::int64_t rejected() const { return m_scan->diskIIFiles; }
    /// Ready tracks, audio still being transcoded, and files waiting for ffmpeg.
    const AudioCatalog& audio() const { return m_scan->audio; }
    /// Ready pictures, pictures still being converted, and those waiting for the converter.
    const PictureCatalog& stills() const { return m_scan->pictures; }
    /// Every folder holding an image, track or picture, with its ancestors, sorted.
    const std::vector<std::string>& folders() const { return m_folders; }

    const std::vector<AudioTrack>& tracks() const { return audio().tracks; }
    const std::vector<std::string>& pendingAudio() const { return audio().pending; }
    std::int64_t audioNeedsFFmpeg() const { return audio().awaitingFFmpeg; }
    const std::vector<StillPic>& pictures() const { return stills().pictures; }
    const std::vector<std::string>& pendingPics() const { return stills().pending; }
    std::int64_t picsNeedConverter() const { return stills().awaitingConverter; }

    /// Images, tracks and pictures of `kind` in `folder` or below it (the whole library
    /// when absent); pending items are not counted.
    std::int64_t count(const std::optional<std::string>& folder, KindFilter kind) const;
    /// Bootable images in `folder` or below it.
    std::int64_t bootableCount(const std::optional<std::string>& folder) const;
    /// Every image, track and picture.
    std::int64_t libraryCount() const;

private:
    std::shared_ptr<const LibraryScan> m_scan;
    std::vector<std::string> m_folders; // worked out once: the sidebar and tree ask often
};

} // namespace vorn
