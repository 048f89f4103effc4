#pragma once
// How long the GUI thread stops answering while the window's model does what a person
// asks of it: Start, Stop, choosing another folder, Snapshot, opening the versions sheet,
// Restore as Copy, Restore in Place and Recheck, each on the benchmark library. A 5 ms
// timer on the GUI thread records how late it fires from just before the action until
// the work it started has ended; p99 and max of that lateness are printed with the goals.

#include <filesystem>

namespace vorn {
class AudioTranscoder;
class PictureTranscoder;
class Preferences;
} // namespace vorn

namespace vorn::bench {

/// Runs the actions once each on `library` with a model of its own; 0 when every action
/// ended within its time, 1 otherwise.
int measureGuiStalls(Preferences& preferences, AudioTranscoder& audio,
                     PictureTranscoder& pictures, const std::filesystem::path& library);

} // namespace vorn::bench
