#pragma once
// Bringing an image back to one of its versions: the image as it is now, with the
// journals from the newest back to the version's own applied, newest first, so that each
// block ends up with the bytes it had before the oldest of those sessions wrote it.
//
// A copy may be made while a share goes on writing the image: the image is copied first
// and the journals are read after. Every block the share wrote before or during the copy
// has its record in a journal by then (records are written before the blocks), so the
// copy comes out right whatever it caught half written.

#include "versions/VersionStore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vorn::VersionRestore {

/// How a restore ended.
struct Outcome {
    enum class Kind { restored, refused, failed };
    Kind kind = Kind::restored;
    /// Why it did not happen: one sentence for the user.
    std::string message;
    /// Restored, but the image was changed outside the share since the version: blocks the
    /// share did not write are as they are now.
    bool changedOutside = false;
    /// When it was the share itself, writing without keeping a version: why it could not.
    std::string lost;

    static Outcome refused(std::string why) { return {Kind::refused, std::move(why), false, {}}; }
    static Outcome failed(std::string why) { return {Kind::failed, std::move(why), false, {}}; }
    static Outcome restored(const Version& version) {
        return {Kind::restored, {}, version.changedOutside, version.lost};
    }
};

using WriteFn = std::function<std::error_code(std::uint64_t offset, std::string_view bytes)>;

/// The index of the version `id` names in `versions`: by its whole id, or by the id
/// without its offset when that names one version only. Absent with the refusal to give
/// in `why` ("no version ... of NAME", "ambiguous id: ...").
std::optional<std::size_t> find(const std::vector<Version>& versions, std::string_view id,
                                const std::string& relPath, std::string& why);
/// Reads every record that restoring `newestFirst[index]` needs, from that version's
/// journal and every newer one: absent when all of them prove sound, else one line that
/// says which version is damaged and how.
std::optional<std::string> check(const std::vector<Version>& newestFirst, std::size_t index);
/// Calls `write` with the bytes that bring an image back to `newestFirst[index]`: the
/// records of that version's journal and of every newer one, newest first. Every journal
/// is opened before the first write, so that none is dropped halfway; `check` them first,
/// as a record found damaged here stops the writes partway. Absent when done, else why not.
std::optional<std::string> replay(const std::vector<Version>& newestFirst, std::size_t index,
                                  const WriteFn& write);
/// Writes the image as it was at version `id` into the new file `destination`, which is
/// never replaced: the file appears whole or not at all.
Outcome toCopy(const VersionStore& store, const VersionedImage& image, std::string_view id,
               const std::filesystem::path& destination);

} // namespace vorn::VersionRestore
