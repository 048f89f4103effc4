#pragma once
// What the audio and picture catalogs share: pages of 17 with a "next" page name,
// searches by display name clamped to the pages that exist, category views, and the
// JSON frame around the entries. Items are records with `displayName` and `folder`.

#include "library/HubConfig.h"
#include "library/Paging.h"
#include "library/WalkedFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn::MediaList {

/// Tracks or pictures in one JSON page: the card reads its media lists in pages of 17, one
/// more than the volumes of a disk catalog page.
inline constexpr std::size_t itemsPerPage = 17;

/// Stable sort by display name, the way people order lists.
template <class T> void sortByDisplayName(std::vector<T>& items) {
    Text::stableSort(items, [](const T& item) { return item.displayName; });
}

/// Names in plain string order, as pending ones are, each keeping the reason at its index.
inline void sortFailures(std::vector<std::string>& names, std::vector<std::string>& reasons) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i < names.size(); ++i) {
        pairs.emplace_back(std::move(names[i]), std::move(reasons[i]));
    }
    std::sort(pairs.begin(), pairs.end());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        names[i] = std::move(pairs[i].first);
        reasons[i] = std::move(pairs[i].second);
    }
}

/// The items of a category folder and below; with `prefixSub`, items below it are named
/// "Subfolder: name" and the list is sorted again.
template <class T>
std::vector<T> inCategory(const std::vector<T>& items, std::string_view cat, bool prefixSub) {
    std::vector<T> members;
    for (const T& item : items) {
        if (HubConfig::under(item.folder, cat)) {
            members.push_back(item);
        }
    }
    if (prefixSub) {
        for (T& item : members) {
            item.displayName = HubConfig::prefixed(item.displayName, item.folder, cat);
        }
        sortByDisplayName(members);
    }
    return members;
}

/// The items whose lower-cased display name contains the lower-cased query.
template <class T> std::vector<T> matching(std::vector<T> pool, std::string_view query) {
    const std::string q = Text::lower(query);
    if (q.empty()) {
        return pool;
    }
    std::erase_if(pool, [&](const T& item) {
        return Text::lower(item.displayName).find(q) == std::string::npos;
    });
    return pool;
}

/// The page to show of a search: below 1 the first, beyond the last the last.
inline std::int64_t clampedPage(std::int64_t page, std::size_t count) {
    return std::clamp<std::int64_t>(page, 1, Paging::pages(count, itemsPerPage));
}

/// The file name of the page after `page`, when there is one ("vorn-audio-2.json").
inline std::optional<std::string> nextPage(std::string_view stem, std::int64_t page,
                                           std::size_t count) {
    if (page >= Paging::pages(count, itemsPerPage)) {
        return std::nullopt;
    }
    return std::string(stem) + "-" + std::to_string(page + 1) + ".json";
}

/// One page (from 1) of `items`, rendered by `render(slice, pages, total, next)`, naming
/// the next page ("<stem>-N.json") when there is one.
template <class T, class Render>
std::string page(const std::vector<T>& items, std::int64_t page, std::string_view stem,
                 Render render) {
    return render(Paging::slice(std::span<const T>(items), page, itemsPerPage),
                  Paging::pages(items.size(), itemsPerPage), items.size(),
                  nextPage(stem, page, items.size()));
}

/// The page of the items matching `query`, kept within the pages that exist; a search
/// never names a next page.
template <class T, class Render>
std::string search(std::vector<T> pool, std::string_view query, std::int64_t page, Render render) {
    const std::vector<T> found = matching(std::move(pool), query);
    return render(
        Paging::slice(std::span<const T>(found), clampedPage(page, found.size()), itemsPerPage),
        Paging::pages(found.size(), itemsPerPage), found.size(), std::nullopt);
}

/// One name a catalog serves, and the library file behind it.
struct Claim {
    const WalkedFile* file = nullptr;
    std::string name;
    /// The size of a library file already in the card's format; absent for a source
    /// that has to be converted first.
    std::optional<std::uint64_t> readySize;
};

/// Which library files a catalog serves under which names. Files already in the card's
/// format (`ownExtension`, not empty) claim their relPath first; then each convertible
/// source claims its relPath with `ownExtension` in place of its own. A name is claimed
/// once, so a ready file shadows its source, and of two sources the first in walk order wins.
std::vector<Claim> claims(const std::vector<WalkedFile>& files, std::string_view ownExtension,
                          bool (*convertible)(std::string_view fileName));

/// The JSON text around already rendered entry lines (each without separator).
std::string render(std::int64_t pages, std::size_t total, const std::optional<std::string>& next,
                   std::string_view catalogName, const std::vector<std::string>& entries);

} // namespace vorn::MediaList
