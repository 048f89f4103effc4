#pragma once

#include "server/OpenFiles.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

/// What the router decided to send: ready bytes, optionally followed by a stretch of a file.
struct Answer {
    /// A complete answer, or the head of a file answer.
    std::string bytes;
    /// When set, `length` bytes of this file from `offset` follow `bytes`.
    std::optional<OpenFile> file;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    /// The file is a disk in DOS sector order and `offset` and `length` are a range of
    /// its ProDOS view: the body is put together sector by sector (DosOrder).
    bool dosOrder = false;
    /// The connection ends after this answer, whatever the request asked.
    bool close = false;
};

} // namespace vorn
