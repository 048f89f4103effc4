#pragma once
// The share's route table: which answer each request gets.

#include "server/Answer.h"
#include "server/Request.h"
#include "server/ShareState.h"

#include <string_view>

namespace vorn::Routes {

/// Counts the request and answers it: generated JSON and HTML, file reads and writes,
/// or 405 for methods the share does not know. `peer` is the address it came from.
Answer handle(ShareState& state, const Request& request, std::string_view body,
              std::string_view peer = {});

/// Answers a request from its head alone, before its body is read, whenever the body
/// cannot change the answer: a body that cannot be framed (the answer then closes the
/// connection), any method but PUT, and a write refused by the share, the path, the
/// Content-Range or a Content-Length reaching past the image. Absent for a write that
/// goes ahead: only then is the body read, and `handle` gets it whole. A request answered
/// here is counted here.
std::optional<Answer> beforeBody(ShareState& state, const Request& request);

/// The page number of "<prefix>N.json" as parsed (1 when empty or not a number), or
/// absent when the path does not have that form.
std::optional<std::int64_t> numberedPage(std::string_view path, std::string_view prefix);

} // namespace vorn::Routes
