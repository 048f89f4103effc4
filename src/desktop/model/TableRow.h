#pragma once
// One row of the library table: a disk image, an audio track, a picture, or the name of
// an audio file or picture still being converted or whose conversion failed.

#include "audio/AudioTrack.h"
#include "library/DiskImage.h"
#include "pictures/StillPic.h"
#include "platform/Date.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

/// A row refers to its item inside a LibraryContents and is valid while that lives;
/// rows are two words, so the table sorts tens of thousands of them without copying items.
class TableRow {
public:
    /// In the order the table lists the kinds before sorting.
    enum class Kind : std::uint8_t {
        image,
        track,
        pending,
        picture,
        pendingPic,
        failed,   ///< audio whose conversion failed
        failedPic ///< a picture whose conversion failed
    };

    static TableRow of(const DiskImage& image) { return {Kind::image, &image}; }
    static TableRow of(const AudioTrack& track) { return {Kind::track, &track}; }
    static TableRow of(const StillPic& picture) { return {Kind::picture, &picture}; }
    /// An audio file being transcoded, by its name.
    static TableRow pendingAudio(const std::string& name) { return {Kind::pending, &name}; }
    /// A picture being converted, by its name.
    static TableRow pendingPicture(const std::string& name) { return {Kind::pendingPic, &name}; }
    /// An audio file or picture whose conversion failed, by its name.
    static TableRow failedAudio(const std::string& name) { return {Kind::failed, &name}; }
    static TableRow failedPicture(const std::string& name) { return {Kind::failedPic, &name}; }

    Kind kind() const { return m_kind; }
    /// An audio file or picture without a converted file: pending, or failed. Such rows
    /// are listed, sorted and dimmed alike.
    bool isPending() const {
        return m_kind == Kind::pending || m_kind == Kind::pendingPic || isFailed();
    }
    /// An audio file or picture whose conversion failed.
    bool isFailed() const { return m_kind == Kind::failed || m_kind == Kind::failedPic; }
    /// Audio of any state (a track, pending or failed).
    bool isAudio() const {
        return m_kind == Kind::track || m_kind == Kind::pending || m_kind == Kind::failed;
    }
    /// Identity across rescans: "i:", "a:", "p:", "pic:", "pp:", "fa:" or "fp:" and the
    /// item's id.
    std::string id() const;
    const std::string& name() const;
    /// Relative folder path; empty for the root and for pending items.
    const std::string& folder() const;
    std::uint64_t bytes() const;
    /// Absent for pending items.
    std::optional<Date> created() const;
    std::optional<Date> modified() const;
    /// What the Volume/Length column sorts by: the volume name, the track's length,
    /// "SHR" for a picture; empty for pending items and images without a volume name.
    std::string volumeKey() const;

    /// The item itself, or nullptr when the row is of another kind.
    const DiskImage* image() const;
    const AudioTrack* track() const;
    const StillPic* picture() const;

    /// "m:ss" of a track of `bytes` PCM bytes, rounded to the nearest second.
    static std::string durationText(std::uint64_t bytes);

    /// The item the row shows; rows of one LibraryContents are equal exactly when these are.
    const void* item() const { return m_item; }

    bool operator==(const TableRow&) const = default;

private:
    TableRow(Kind kind, const void* item) : m_kind(kind), m_item(item) {}

    Kind m_kind;
    const void* m_item;
};

} // namespace vorn
