#pragma once
// The readable table that `vorn-share scan` prints.

#include "audio/AudioCatalog.h"
#include "library/DiskCatalog.h"
#include "pictures/PictureCatalog.h"

#include <cstddef>
#include <string>

namespace vorn {

/// The catalog as aligned columns (name, volume, blocks, boot, size, folder), then a
/// line counting the files skipped because they need Disk II emulation.
std::string scanReport(const DiskCatalog& catalog, std::size_t skippedDiskII);
/// The conversions that failed, each with the converter's reason; empty when none did.
std::string failedReport(const AudioCatalog& audio, const PictureCatalog& pictures);

/// A byte count for people: "512 bytes", "140 KB", "32.0 MB".
std::string readableSize(std::uint64_t bytes);

} // namespace vorn
