#pragma once
// The two background converters a share and the desktop program use: ffmpeg for audio,
// img2shr.py for pictures. Made once by the program (or a test) and passed to whoever
// scans the library or kicks conversions, so nothing reaches for a global instance.

namespace vorn {

class AudioTranscoder;
class PictureTranscoder;

struct Converters {
    AudioTranscoder& audio;
    PictureTranscoder& pictures;
};

} // namespace vorn
