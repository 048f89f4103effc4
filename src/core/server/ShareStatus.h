#pragma once
// What a running share reports to its owner after every change.

#include "platform/Date.h"
#include "server/ConnectionEnds.h"
#include "server/LogLines.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace vorn {

/// Per-item dates, shared between copies until one of them changes.
class ItemDates {
public:
    /// The date recorded for a key, if any.
    std::optional<Date> find(const std::string& key) const;
    /// Records `date` under `key`, copying the entries first if another copy shares them.
    void set(const std::string& key, Date date);
    std::size_t size() const { return m_entries ? m_entries->size() : 0; }
    /// All entries, key order.
    const std::map<std::string, Date>& entries() const;

    bool operator==(const ItemDates& other) const { return entries() == other.entries(); }

private:
    std::shared_ptr<std::map<std::string, Date>> m_entries; // never changed while shared
};

/// The published state of a share server. Cheap to copy.
struct ShareStatus {
    /// The listener is accepting connections.
    bool running = false;
    /// The port actually listened on; 0 before the first start.
    std::uint16_t port = 0;
    /// Requests handled since the server was made.
    std::uint64_t requests = 0;
    /// File body bytes committed to GET answers.
    std::uint64_t bytesServed = 0;
    /// Connections ended since the server was made, by why they ended.
    ConnectionEnds connectionEnds;
    /// The listener's last failure; cleared when it listens again.
    std::optional<std::string> lastError;
    /// The log, oldest line first, at most 200 lines.
    LogLines recentLines;
    /// When each served file was last read: an image's relPath, "audio/" or "pictures/" + name.
    ItemDates lastRead;
    /// When each image was last written, by relPath.
    ItemDates lastWrite;
    /// When the versions of each image last changed (a session of the card's writes began,
    /// or a restore kept the image as it was), by relPath: the owner lists them again.
    ItemDates versionsChanged;

    bool operator==(const ShareStatus&) const = default;
};

} // namespace vorn
