#pragma once
// The share's route table: which answer each request gets.

#include "server/Answer.h"
#include "server/Request.h"
#include "server/ShareState.h"

#include <optional>
#include <string_view>

namespace vorn::Routes {

/// Counts the request and answers it by the first row of the route table that takes its
/// method and path: generated JSON and HTML, file reads and writes, or 405 for methods
/// the share does not know. `peer` is the address it came from.
Answer handle(ShareState& state, const Request& request, std::string_view body,
              std::string_view peer = {});

/// Answers a request from its head alone, before its body is read, whenever the body
/// cannot change the answer: any row but the one that writes, and a write refused by the
/// share, the path, the Content-Range or a Content-Length reaching past the image. (A
/// body that cannot be framed never gets here: the connection's framer refuses it.) Absent for a
/// write that goes ahead: only then is the body read, and `handle` gets it whole. A
/// write whose body came with its head (`bodyInHand`, as a card's block write does) is
/// left to `handle`, which makes the same checks once instead of twice. A request
/// answered here is counted here.
std::optional<Answer> beforeBody(ShareState& state, const Request& request, bool bodyInHand);

} // namespace vorn::Routes
