#pragma once
// The versions kept of the library's images, for the window's "Versions..." sheet. While
// the library is shared, the share lists them and restores one in place on its own
// thread, between two of the card's writes, keeping the image as it was as a version of
// its own first; without a share the model does the same with a keeper of its own.

#include "versions/VersionRestore.h"
#include "versions/VersionSettings.h"
#include "versions/VersionStore.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vorn {

class ShareServer;

namespace ImageVersions {

/// The versions of the image `relPath` of `library`, newest first; `server` when shared.
std::vector<Version> list(const VersionSettings& settings, const std::filesystem::path& library,
                          const std::string& relPath, ShareServer* server);
/// Writes the image as it was at version `id` into a new file beside it, named after the
/// version ("Disk (2026-05-01 14.03.22-04.00).po"), which `made` then names.
VersionRestore::Outcome toCopy(const VersionSettings& settings,
                               const std::filesystem::path& library, const std::string& relPath,
                               const std::string& id, std::filesystem::path& made);
/// Brings the image back to version `id` where it is; `log` gains the lines a share
/// would log ("version kept: NAME").
VersionRestore::Outcome inPlace(const VersionSettings& settings,
                                const std::filesystem::path& library, const std::string& relPath,
                                const std::string& id, ShareServer* server,
                                std::vector<std::string>& log);

} // namespace ImageVersions
} // namespace vorn
