#include "scan/ConversionKick.h"

namespace vorn {

void ConversionKick::operator()(Converters converters, const AudioCatalog& audio,
                                const PictureCatalog& pictures) const {
    audio.kickTranscodes(converters.audio, onAudioReady, onAudioFailed);
    pictures.kickConverts(converters.pictures, onPicturesReady, onPictureFailed);
}

} // namespace vorn
