#pragma once
// The share's route table: which answer each request gets.

#include "server/Answer.h"
#include "server/Request.h"
#include "server/ShareState.h"

#include <string_view>

namespace vorn::Routes {

/// Counts the request and answers it: generated JSON and HTML, file reads and writes,
/// or 405 for methods the share does not know.
Answer handle(ShareState& state, const Request& request, std::string_view body);

/// The page number of "<prefix>N.json" as parsed (1 when empty or not a number), or
/// absent when the path does not have that form.
std::optional<std::int64_t> numberedPage(std::string_view path, std::string_view prefix);

} // namespace vorn::Routes
