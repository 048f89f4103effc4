#pragma once
// The page a browser on the LAN gets: the address for the card, the categories and
// every shared item with a link.

#include "server/ShareState.h"

#include <string>
#include <string_view>

namespace vorn {

/// The whole HTML page, built from the share's current catalogs.
std::string indexHTML(const ShareState& state, std::string_view base);

} // namespace vorn
