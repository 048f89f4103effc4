#include "ImageVersions.h"

#include "library/LibraryRoot.h"
#include "server/ShareServer.h"
#include "versions/VersionKeeper.h"

#include <fcntl.h>
#include <unistd.h>

namespace vorn::ImageVersions {

std::vector<Version> list(const VersionSettings& settings, const std::filesystem::path& library,
                          const std::string& relPath, ShareServer* server) {
    if (server != nullptr) {
        return server->versions(relPath);
    }
    if (settings.store.empty()) {
        return {};
    }
    return VersionStore(settings.store).list(library, relPath);
}

VersionRestore::Outcome toCopy(const VersionSettings& settings,
                               const std::filesystem::path& library, const std::string& relPath,
                               const std::string& id, std::filesystem::path& made) {
    if (settings.store.empty()) {
        return VersionRestore::Outcome::refused("versions are off");
    }
    made = VersionStore::snapshotName(library / relPath, id);
    return VersionRestore::toCopy(VersionStore(settings.store), {library, relPath}, id, made);
}

VersionRestore::Outcome inPlace(const VersionSettings& settings,
                                const std::filesystem::path& library, const std::string& relPath,
                                const std::string& id, ShareServer* server,
                                std::vector<std::string>& log) {
    if (server != nullptr) {
        return server->restoreInPlace(relPath, id);
    }
    if (!settings.on()) {
        return VersionRestore::Outcome::refused("versions are off");
    }
    // Opened inside the library, as the share opens what it writes.
    const int fd = LibraryRoot(library).open(relPath, O_RDWR);
    if (fd < 0) {
        return VersionRestore::Outcome::refused(relPath + " cannot be written");
    }
    const std::optional<Journal::Stamp> before = Journal::stampOf(fd);
    VersionRestore::Outcome outcome =
        before ? VersionKeeper(settings).restoreInPlace(library, relPath, fd, *before, id, log)
               : VersionRestore::Outcome::failed(relPath + " cannot be read");
    close(fd);
    return outcome;
}

} // namespace vorn::ImageVersions
