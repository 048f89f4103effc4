#pragma once
// Converters for tests, with the pictures' knobs kept in preferences of the test's own:
// idle ones (no ffmpeg, no interpreter: a scan with them starts no process) and the ones
// found on this machine.

#include "audio/AudioTranscoder.h"
#include "pictures/PictureTranscoder.h"
#include "platform/Preferences.h"
#include "scan/Converters.h"
#include "support/TempDir.h"

#include <memory>
#include <optional>

namespace vorn::test {

class IdleConverters {
public:
    Converters get() { return {m_audio, m_pictures}; }
    Preferences& preferences() { return m_preferences; }

private:
    TempDir m_dir;
    Preferences m_preferences{m_dir / "preferences.json"};
    AudioTranscoder m_audio{m_dir / "cache", std::nullopt};
    PictureTranscoder m_pictures{m_preferences, m_dir / "cache", std::nullopt, std::nullopt};
};

class FoundConverters {
public:
    Converters get() { return {*m_audio, *m_pictures}; }
    /// Both ffmpeg and python3 with numpy and Pillow (and the script) were found.
    bool ready() const { return m_audio->ffmpegPath() && m_pictures->converterReady(); }
    const PictureTranscoder& pictures() const { return *m_pictures; }

private:
    TempDir m_dir;
    Preferences m_preferences{m_dir / "preferences.json"};
    std::unique_ptr<AudioTranscoder> m_audio = AudioTranscoder::found(m_dir / "cache", 1);
    std::unique_ptr<PictureTranscoder> m_pictures =
        PictureTranscoder::found(m_preferences, m_dir / "cache", 1);
};

} // namespace vorn::test
