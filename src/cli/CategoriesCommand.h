#pragma once
// `vorn-share categories`: lists and edits the "Your source" categories of a library, with
// the rules and the storage the desktop program uses, so each sees the other's changes.

#include "platform/Preferences.h"

#include <cstddef>
#include <optional>
#include <string>

namespace vorn::CategoriesCommand {

/// One edit of the categories; `path` is a library folder ("Games/Arcade").
struct Edit {
    enum class Kind { list, add, remove, move, label, prefix, reset };
    Kind kind = Kind::list;
    std::string path;
    std::size_t position = 0; // move: from 1
    std::string text;         // label
    bool on = false;          // prefix
};

/// Runs one edit (or the listing) on the categories of `folder`, the stored library when
/// absent, and prints the categories after it. Bad input gets one line and exit status 2,
/// with nothing written.
int run(Preferences& preferences, const std::optional<std::string>& folder, const Edit& edit);

} // namespace vorn::CategoriesCommand
