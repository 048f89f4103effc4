#pragma once
// Versions of the images the card writes, kept by the share as part of each write.
//
// A write session of an image is a run of writes with no quiet spell longer than the
// version gap between them (and no change by anyone else: a write finding the image
// other than the share left it begins a new session). Before the first write of a
// session is applied, a version is kept: the state of the image at that moment. Copying
// the image would cost a hard disk image's first write a copy of 32 MB, so a version is
// an undo journal instead (JournalWriter): before a block is written for the first time
// in a session, its bytes as they are are appended to the session's journal. Beginning
// a session costs making one small file (and, the first time, its folder); every other
// write costs a bit test, and the first write of a block a read and an append of 528
// bytes. Writes never extend an image (the share refuses them), so no journal needs to
// remember a size other than the one in its header.
//
// All of it runs on the server's thread, inside the write: the journal record reaches
// the kernel before the image's block does, and the write's answer goes out after both,
// so a share killed at any moment leaves a journal that covers every write the card was
// told succeeded. Dropping old versions (the count per image, the total size) runs on a
// background thread of its own, as it may delete large files; it never touches the
// newest version of an image, which is the only journal the share may still be writing.
//
// Restoring in place runs on the same thread, between two of the card's writes: it ends
// the image's session, keeps the image as it is as a version of its own (so the restore
// can be undone), writes the version's blocks back through that session's journal, and
// ends that session too, so the card's next write begins a new one.

#include "platform/SerialQueue.h"
#include "platform/SteadyNow.h"
#include "versions/JournalWriter.h"
#include "versions/VersionRestore.h"
#include "versions/VersionSettings.h"
#include "versions/VersionStore.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vorn {

class VersionKeeper {
public:
    /// `now` tells the time the gap between sessions is measured by.
    explicit VersionKeeper(VersionSettings settings,
                           SteadyNow now = std::chrono::steady_clock::now);
    /// Ends the sessions and waits for the dropping of old versions under way.
    ~VersionKeeper();
    VersionKeeper(const VersionKeeper&) = delete;
    VersionKeeper& operator=(const VersionKeeper&) = delete;

    /// Applies new settings; a new gap counts from the next write.
    void setSettings(VersionSettings settings);
    const VersionSettings& settings() const { return m_settings; }

    /// Before the share writes `length` bytes at `offset` into the image `relPath` of
    /// `library`, open as `image` and in the state `before`: begins a session when one is
    /// due and saves the blocks the session has not saved yet. Returns a line for the log
    /// when a version was kept or could not be.
    std::optional<std::string> beforeWrite(const std::filesystem::path& library,
                                           const std::string& relPath, int image,
                                           const Journal::Stamp& before, std::uint64_t offset,
                                           std::uint64_t length);
    /// After that write: records the state `after` the share left the image in.
    void afterWrite(const std::string& relPath, const Journal::Stamp& after);
    /// The versions of an image, newest first.
    std::vector<Version> versions(const std::filesystem::path& library,
                                  const std::string& relPath) const;
    /// Brings the image back to version `id` in place (see the header), appending the log
    /// lines to `log`. Refused when the image's size changed since the version.
    VersionRestore::Outcome restoreInPlace(const std::filesystem::path& library,
                                           const std::string& relPath, int image,
                                           const Journal::Stamp& before, std::string_view id,
                                           std::vector<std::string>& log);
    /// Waits until the versions due to be dropped so far are gone (for tests).
    void drain() { m_pruner.drain(); }

private:
    struct Session {
        std::unique_ptr<JournalWriter> journal; // null when it could not be kept
        Journal::Stamp last;
        std::chrono::steady_clock::time_point lastWrite;
    };
    /// An image's folder of versions, made, with its newest journal's start.
    struct Folder {
        std::filesystem::path path;
        std::int64_t newest = -1; // seconds; -1: no journal yet
    };
    Session& begin(const std::filesystem::path& library, const std::string& relPath,
                   const Journal::Stamp& before, std::string& line);
    std::unique_ptr<JournalWriter>
    createJournal(const std::string& relPath, const Journal::Stamp& before, std::error_code& error);
    void markNewestLost(const std::string& relPath, std::error_code why);
    void endQuietSessions(std::chrono::steady_clock::time_point now);
    /// Drops the versions beyond the caps, on the background thread.
    void dropOldVersions(const std::filesystem::path& folder);

    VersionSettings m_settings;
    SteadyNow m_now;
    VersionStore m_store;
    std::filesystem::path m_library; // the library the sessions belong to
    std::unordered_map<std::string, Session> m_sessions;
    std::unordered_map<std::string, Folder> m_folders; // by relPath, in m_library
    SerialQueue m_pruner;
};

} // namespace vorn
