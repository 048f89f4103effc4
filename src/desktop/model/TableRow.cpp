#include "TableRow.h"

#include <cstdio>

namespace vorn {
namespace {

const std::string& noFolder() {
    static const std::string empty;
    return empty;
}

} // namespace

std::string TableRow::id() const {
    switch (m_kind) {
    case Kind::image:
        return "i:" + image()->id();
    case Kind::track:
        return "a:" + track()->fileName;
    case Kind::pending:
        return "p:" + name();
    case Kind::picture:
        return "pic:" + picture()->fileName;
    case Kind::pendingPic:
        return "pp:" + name();
    case Kind::failed:
        return "fa:" + name();
    case Kind::failedPic:
        return "fp:" + name();
    }
    return {};
}

const std::string& TableRow::name() const {
    switch (m_kind) {
    case Kind::image:
        return image()->displayName;
    case Kind::track:
        return track()->displayName;
    case Kind::picture:
        return picture()->displayName;
    case Kind::pending:
    case Kind::pendingPic:
    case Kind::failed:
    case Kind::failedPic:
        break;
    }
    return *static_cast<const std::string*>(m_item);
}

const std::string& TableRow::folder() const {
    switch (m_kind) {
    case Kind::image:
        return image()->folder;
    case Kind::track:
        return track()->folder;
    case Kind::picture:
        return picture()->folder;
    case Kind::pending:
    case Kind::pendingPic:
    case Kind::failed:
    case Kind::failedPic:
        break;
    }
    return noFolder();
}

std::uint64_t TableRow::bytes() const {
    switch (m_kind) {
    case Kind::image:
        return image()->bytes;
    case Kind::track:
        return track()->bytes;
    case Kind::picture:
        return picture()->bytes;
    case Kind::pending:
    case Kind::pendingPic:
    case Kind::failed:
    case Kind::failedPic:
        break;
    }
    return 0;
}

std::optional<Date> TableRow::created() const {
    if (const DiskImage* i = image()) {
        return i->created;
    }
    if (const AudioTrack* t = track()) {
        return t->created;
    }
    if (const StillPic* p = picture()) {
        return p->created;
    }
    return std::nullopt;
}

std::optional<Date> TableRow::modified() const {
    if (const DiskImage* i = image()) {
        return i->modified;
    }
    if (const AudioTrack* t = track()) {
        return t->modified;
    }
    if (const StillPic* p = picture()) {
        return p->modified;
    }
    return std::nullopt;
}

std::string TableRow::volumeKey() const {
    if (const DiskImage* i = image()) {
        return i->volumeName.value_or("");
    }
    if (const AudioTrack* t = track()) {
        return durationText(t->bytes);
    }
    return m_kind == Kind::picture ? "SHR" : "";
}

const DiskImage* TableRow::image() const {
    return m_kind == Kind::image ? static_cast<const DiskImage*>(m_item) : nullptr;
}

const AudioTrack* TableRow::track() const {
    return m_kind == Kind::track ? static_cast<const AudioTrack*>(m_item) : nullptr;
}

const StillPic* TableRow::picture() const {
    return m_kind == Kind::picture ? static_cast<const StillPic*>(m_item) : nullptr;
}

std::string TableRow::durationText(std::uint64_t bytes) {
    // 21973 bytes a second; half a second added first rounds to the nearest second.
    const std::uint64_t rate = AudioTrack::rate;
    const std::uint64_t total = bytes + rate / 2;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu",
                  static_cast<unsigned long long>(total / (60 * rate)),
                  static_cast<unsigned long long>(total / rate % 60));
    return text;
}

} // namespace vorn
