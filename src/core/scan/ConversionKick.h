#pragma once
// Starting the conversions a scan found pending. Asking a transcoder for each pending file
// names its cache (a realpath and a look at the cache folder per file), so a large library
// takes long enough that this runs on a scanner's worker, never on a thread that serves
// the card or draws the window. Every program starts its conversions through here.

#include "audio/AudioCatalog.h"
#include "pictures/PictureCatalog.h"
#include "scan/Converters.h"

#include <functional>
#include <string>

namespace vorn {

struct ConversionKick {
    /// Run on a conversion thread after each conversion that succeeded.
    std::function<void()> onAudioReady;
    std::function<void()> onPicturesReady;
    /// Run on a conversion thread with the log line of each conversion that failed.
    std::function<void(const std::string&)> onAudioFailed;
    std::function<void(const std::string&)> onPictureFailed;

    /// Queues the conversion of every pending file of `audio` and `pictures` (the
    /// transcoders ignore a file already queued). Any thread may call it.
    void operator()(Converters converters, const AudioCatalog& audio,
                    const PictureCatalog& pictures) const;
};

} // namespace vorn
