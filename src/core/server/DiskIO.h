#pragma once
// Reads of shared files by byte range, and block writes into disk images.

#include "server/Answer.h"
#include "server/Request.h"
#include "server/ShareState.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vorn::DiskIO {

/// The stretch of a file an answer carries (end inclusive).
struct ByteRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    bool partial = false;
    bool operator==(const ByteRange&) const = default;
};

/// Answers above this size are logged; the card's block reads stay out of the log.
inline constexpr std::uint64_t logThreshold = 4096;

/// The range a Range header asks of a file of `size` bytes; absent when unsatisfiable.
std::optional<ByteRange> chooseRange(const std::string* rangeHeader, std::uint64_t size);
/// The 200 or 206 head of a file answer.
std::string fileHead(const Request& request, const ByteRange& range, std::uint64_t size,
                     bool writable, std::optional<Date> modified);
/// The raw 416 answer.
std::string unsatisfiable(std::uint64_t size);
/// Where a PUT writes: 0 without a "bytes " Content-Range; absent when its start is not a number.
std::optional<std::uint64_t> writeOffset(const std::string* contentRange);

/// GET or HEAD of a library path: a disk image read.
Answer serveImage(ShareState& state, const Request& request);
/// GET or HEAD of an open file (absent: 404), recording reads under `key` when given;
/// "X-Vorn-Writable" follows `writable`, or the share's setting without it.
Answer serveFile(ShareState& state, const Request& request, const std::optional<OpenFile>& file,
                 const std::optional<std::string>& key,
                 std::optional<bool> writable = std::nullopt);
/// Reads the body of a file answer into `out` (`answer.length` bytes); false when the file
/// could not give them all.
bool readBody(const Answer& answer, char* out);
/// The answer to a PUT of `length` bytes when it is refused whatever its body holds
/// (403, 404, 400, 416, 500); absent when the write would go ahead.
std::optional<Answer> refusePut(ShareState& state, const Request& request, std::uint64_t length);
/// PUT of bytes into a listed image, in place; `peer` is the writer's address.
Answer putImage(ShareState& state, const Request& request, std::string_view body,
                std::string_view peer = {});

} // namespace vorn::DiskIO
