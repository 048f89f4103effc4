#pragma once
// Where the versions of the images live, outside every library:
//
//   $XDG_DATA_HOME/VornImageManager/versions/LIB/IMG/SECONDS.journal
//
// LIB is a digest of the library's real path and IMG one of the image's path inside it,
// so no library gains a file and no path, however long or strange, becomes a file name;
// a text file "library" in LIB and "image" in IMG say what they stand for. A journal is
// named after its session's start in seconds since the epoch: the names sort in the
// order the sessions began, which is also the order they must be undone in.
//
// Version N of an image is the image as it is now with the journals from the newest back
// to N's applied. That holds while nothing but the share changed the image: each journal
// keeps the image's stamp (size, modification time, inode) before the session's first
// write and after the share's last one, and a version from which the chain of stamps up
// to the image as it is now breaks is listed as changed outside the share (or, when the
// share itself could not keep a version, with the reason). A journal that cannot prove
// itself is listed as damaged; it and every older version cannot be restored.

#include "platform/Date.h"
#include "versions/Journal.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vorn {

/// One kept version of an image.
struct Version {
    /// The session's start in local time with its offset from UTC,
    /// "yyyy-MM-ddTHH:MM:SS+hh:mm": what users name it by, unique even in the hour
    /// repeated when daylight saving time ends.
    std::string id;
    Date start;
    /// The blocks its session wrote: the blocks restoring it brings back.
    std::uint64_t blocks = 0;
    /// Its journal's size on disk.
    std::uint64_t bytes = 0;
    /// Something other than the share changed the image since: restoring it brings back
    /// the blocks the share wrote, and leaves the others as they are now.
    bool changedOutside = false;
    /// Why the chain broke when `changedOutside` is the share's own doing: it wrote the
    /// image without keeping a version (a full disk), for this reason.
    std::string lost;
    /// Why its journal cannot be trusted ("cut short: 3 of 4 blocks"); empty when sound.
    std::string damage;
    /// The id of a newer version with a damaged journal, which restoring this one needs.
    std::string behindDamaged;
    Journal::Header header{};
    std::filesystem::path journal;

    /// What a listing says of it besides its size: empty, or why restoring it is not what
    /// it seems ("changed outside the share since", "damaged (cut short: 3 of 4 blocks)").
    std::string note() const;
};

/// The library and the path inside it under which an image's versions are kept.
struct VersionedImage {
    std::filesystem::path library;
    std::string relPath;
};

class VersionStore {
public:
    explicit VersionStore(std::filesystem::path root) : m_root(std::move(root)) {}
    /// $XDG_DATA_HOME/VornImageManager/versions (~/.local/share by default).
    static std::filesystem::path defaultRoot();
    const std::filesystem::path& root() const { return m_root; }

    /// The folder of the versions of `relPath` in `library`.
    std::filesystem::path folderOf(const std::filesystem::path& library,
                                   std::string_view relPath) const;
    /// Makes that folder and its name files.
    [[nodiscard]] std::error_code makeFolder(const std::filesystem::path& library,
                                             std::string_view relPath) const;
    /// The library and path under which the image file at `image` has versions: the
    /// nearest enclosing folder first, by the path as given and then by its real path.
    std::optional<VersionedImage> locate(const std::filesystem::path& image) const;
    /// The versions of an image, newest first. `settle` waits a few milliseconds for a
    /// share in another process to record a write it just made before calling the image
    /// changed outside it.
    std::vector<Version> list(const std::filesystem::path& library, std::string_view relPath,
                              bool settle = false) const;
    /// The journals in an image's folder, oldest first.
    static std::vector<std::filesystem::path> journals(const std::filesystem::path& folder);
    /// Drops the oldest versions of the image in `folder` beyond `kept`, then the oldest
    /// versions of all images until they take at most `maxBytes`. The newest version of
    /// an image is never dropped: the share may be writing its journal.
    void prune(const std::filesystem::path& folder, std::int64_t kept,
               std::uint64_t maxBytes) const;

    /// The file name of a journal whose session started `seconds` after the epoch.
    static std::string journalName(std::int64_t seconds);
    /// The start a journal's file name holds; absent when it is no journal's name.
    static std::optional<std::int64_t> journalSeconds(const std::filesystem::path& journal);
    /// A version's id: `start` in local time with its offset, "yyyy-MM-ddTHH:MM:SS+hh:mm".
    static std::string idOf(Date start);
    /// Whether `text` has the form of an id, with or without its offset.
    static bool isId(std::string_view text);
    /// The name of a copy of `image` restored to the version `id`, beside it:
    /// "Disk.po" becomes "Disk (2026-05-01 14.03.22-04.00).po".
    static std::filesystem::path snapshotName(const std::filesystem::path& image,
                                              std::string_view id);

private:
    std::filesystem::path m_root;
};

} // namespace vorn
