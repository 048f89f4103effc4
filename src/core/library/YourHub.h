#pragma once
// The your-hub catalog: which categories exist for one kind of item, and their sizes.

#include "library/HubConfig.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::YourHub {

/// The kinds of item the card browses by category.
enum class Kind { disks, audio, pictures };

/// "disks", "audio" or "pictures": the JSON "kind".
std::string_view rawValue(Kind kind);
/// The kind with this raw value; absent for any other text.
std::optional<Kind> kindNamed(std::string_view raw);
/// The short value a request uses to ask for this kind ("a", "p"); absent for disks.
std::optional<std::string_view> query(Kind kind);

/// Counts the items of one kind in a category, given the category's path.
using CountFn = std::function<std::int64_t(const std::string& path)>;

/// The JSON text: categories holding at least one item, at most twelve of them.
std::string json(const HubConfig& config, Kind kind, std::int64_t total, const CountFn& count);
/// The same for the items of a share (records with a `folder`): its disk images, tracks
/// and pictures, of which `kind` picks one list.
template <class Disks, class Tracks, class Pictures>
std::string json(const HubConfig& config, Kind kind, const Disks& disks, const Tracks& tracks,
                 const Pictures& pictures) {
    const auto of = [&](const auto& items) {
        return json(config, kind, std::int64_t(items.size()),
                    [&](const std::string& path) { return countInCategory(items, path); });
    };
    return kind == Kind::audio ? of(tracks) : kind == Kind::pictures ? of(pictures) : of(disks);
}

} // namespace vorn::YourHub
