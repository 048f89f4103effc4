#include "VersionsCommand.h"

#include "ScanReport.h"
#include "versions/VersionRestore.h"
#include "versions/VersionStore.h"

#include <filesystem>
#include <iostream>
#include <optional>

namespace vorn::VersionsCommand {
namespace {

constexpr int kBadInput = 2;

int refuse(const std::string& why) {
    std::cerr << "vorn-share: " << why << "\n";
    return kBadInput;
}

// The image's place in the store; absent (after one line on standard error) when the
// file is missing or has no versions.
std::optional<VersionedImage> locate(const VersionStore& store, const std::string& image,
                                     int& status) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(image, ec)) {
        status = refuse((std::filesystem::exists(image, ec) ? "not a file: " : "no such file: ") +
                        image);
        return std::nullopt;
    }
    std::optional<VersionedImage> found = store.locate(image);
    if (!found) {
        std::cerr << "vorn-share: no versions of " << image << "\n";
    }
    return found;
}

std::string blocks(std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " block" : " blocks");
}

} // namespace

int list(const std::string& image) {
    const VersionStore store(VersionStore::defaultRoot());
    int status = 0;
    const std::optional<VersionedImage> found = locate(store, image, status);
    if (!found) {
        return status;
    }
    for (const Version& version : store.list(found->library, found->relPath, true)) {
        const std::string note = version.note();
        std::cout << version.id << '\t' << blocks(version.blocks) << '\t'
                  << readableSize(version.bytes) << (note.empty() ? "" : "\t" + note) << "\n";
    }
    return 0;
}

int restore(const std::string& image, const std::string& id, const std::string& destination) {
    if (destination.empty()) {
        return refuse("--as needs the name of the new file");
    }
    if (!VersionStore::isId(id)) {
        return refuse("not a version id: " + id +
                      " (ids look like 2026-05-01T14:03:22-04:00; vorn-share versions IMAGE "
                      "lists them)");
    }
    const VersionStore store(VersionStore::defaultRoot());
    int status = kBadInput;
    const std::optional<VersionedImage> found = locate(store, image, status);
    if (!found) {
        return status;
    }
    const VersionRestore::Outcome outcome = VersionRestore::toCopy(store, *found, id, destination);
    if (outcome.kind != VersionRestore::Outcome::Kind::restored) {
        std::cerr << "vorn-share: " << outcome.message << "\n";
        return outcome.kind == VersionRestore::Outcome::Kind::refused ? kBadInput : 1;
    }
    std::cout << "restored " << image << " as it was at " << id << " into " << destination << "\n";
    if (outcome.changedOutside && !outcome.lost.empty()) {
        std::cerr << "vorn-share: warning: a version of " << image << " could not be kept since "
                  << id << " (" << outcome.lost
                  << "); the blocks written without one are as they are now\n";
    } else if (outcome.changedOutside) {
        std::cerr << "vorn-share: warning: " << image << " was changed outside the share since "
                  << id << "; the blocks the share did not write are as they are now\n";
    }
    return 0;
}

} // namespace vorn::VersionsCommand
