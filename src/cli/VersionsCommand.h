#pragma once
// `vorn-share versions` and `vorn-share restore`: the versions the share kept of a disk
// image, and a copy of the image as it was at one of them.

#include <string>

namespace vorn::VersionsCommand {

/// Prints the versions of the image file at `image`, newest first, one a line: its id, a
/// tab, the blocks its session changed, a tab, its size on disk, and a last column when
/// the image was changed outside the share since.
int list(const std::string& image);
/// Writes the image as it was at version `id` into the new file `destination`. Bad input
/// and refusals get one line and exit status 2, failures exit status 1; nothing changes.
int restore(const std::string& image, const std::string& id, const std::string& destination);

} // namespace vorn::VersionsCommand
