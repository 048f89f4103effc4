#pragma once
// Page arithmetic shared by every catalog: fixed-size pages counted from 1.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorn::Paging {

/// Number of pages for `count` entries; 1 for none.
inline std::int64_t pages(std::size_t count, std::size_t perPage) {
    return std::int64_t(std::max(count + perPage - 1, perPage) / perPage);
}

/// The entries of page `page` (from 1); empty beyond the last page. Safe for any page
/// number a request can carry, however large.
template <class T>
std::span<const T> slice(std::span<const T> all, std::int64_t page, std::size_t perPage) {
    if (page < 1) {
        return {};
    }
    const std::uint64_t skipPages = std::uint64_t(page) - 1;
    const std::uint64_t fullPages = (all.size() + perPage - 1) / perPage;
    if (skipPages >= fullPages) {
        return {};
    }
    const std::size_t start = std::size_t(skipPages) * perPage;
    return all.subspan(start, std::min(perPage, all.size() - start));
}

} // namespace vorn::Paging
