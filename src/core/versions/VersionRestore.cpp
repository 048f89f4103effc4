#include "versions/VersionRestore.h"

#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "platform/NewFile.h"
#include "platform/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn::VersionRestore {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> checkDestination(const fs::path& destination) {
    std::error_code ec;
    if (destination.empty()) {
        return "the new file needs a name";
    }
    if (Files::exists(destination)) {
        return destination.string() + " already exists; restore never replaces a file";
    }
    const fs::path folder = destination.parent_path().empty() ? "." : destination.parent_path();
    if (!fs::is_directory(folder, ec)) {
        return "no such folder: " + folder.string();
    }
    return std::nullopt;
}

// The restored bytes into the open file `copy`, which holds the image as it is now.
std::optional<std::string> restoreInto(int copy, const VersionStore& store,
                                       const VersionedImage& image, std::string_view id,
                                       Outcome& outcome) {
    // Read after the copy was made: see the header.
    const std::vector<Version> versions = store.list(image.library, image.relPath, true);
    std::string refusal;
    const std::optional<std::size_t> index = find(versions, id, image.relPath, refusal);
    if (!index) {
        return "version " + std::string(id) + " was dropped meanwhile";
    }
    if (std::optional<std::string> damaged = check(versions, *index)) {
        return damaged;
    }
    if (std::optional<std::string> failed =
            replay(versions, *index, [copy](std::uint64_t offset, std::string_view bytes) {
                return Files::writeAt(copy, bytes, offset);
            })) {
        return failed;
    }
    if (ftruncate(copy, off_t(versions[*index].header.before.size)) != 0 || fsync(copy) != 0) {
        return "cannot write the copy: " + lastSystemError().message();
    }
    outcome = Outcome::restored(versions[*index]);
    return std::nullopt;
}

// A journal read whole and found sound; why not otherwise.
std::string damageOf(const Version& version) {
    if (!version.damage.empty()) {
        return version.damage;
    }
    std::string damage;
    const FileDescriptor fd(Journal::openForReading(version.journal, damage));
    if (!fd.valid()) {
        return damage;
    }
    if (const std::optional<Journal::Header> header = Journal::readHeader(fd.get(), damage)) {
        damage = Journal::forEachRecord(fd.get(), *header,
                                        [](std::uint64_t, std::string_view) { return true; });
    }
    return damage;
}

std::string damaged(const Version& wanted, const Version& version, const std::string& damage) {
    return "cannot restore " + wanted.id + ": version " + version.id + " is damaged (" + damage +
           ")";
}

} // namespace

std::optional<std::size_t> find(const std::vector<Version>& versions, std::string_view id,
                                const std::string& relPath, std::string& why) {
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < versions.size(); ++i) {
        const std::string_view full = versions[i].id;
        if (full == id) {
            return i;
        }
        if (full.starts_with(id) && full.size() > id.size() && VersionStore::isId(id)) {
            named.push_back(i);
        }
    }
    if (named.size() == 1) {
        return named.front();
    }
    if (named.empty()) {
        why = "no version " + std::string(id) + " of " + relPath;
        return std::nullopt;
    }
    why = "ambiguous id: " + std::string(id) + " names ";
    for (std::size_t i = 0; i < named.size(); ++i) {
        why += (i == 0 ? "" : i + 1 == named.size() ? " and " : ", ") + versions[named[i]].id;
    }
    return std::nullopt;
}

std::optional<std::string> check(const std::vector<Version>& newestFirst, std::size_t index) {
    for (std::size_t i = 0; i <= index; ++i) {
        if (const std::string damage = damageOf(newestFirst[i]); !damage.empty()) {
            return damaged(newestFirst[index], newestFirst[i], damage);
        }
    }
    return std::nullopt;
}

std::optional<std::string> replay(const std::vector<Version>& newestFirst, std::size_t index,
                                  const WriteFn& write) {
    std::vector<std::pair<FileDescriptor, Journal::Header>> journals;
    for (std::size_t i = 0; i <= index; ++i) {
        std::string damage;
        FileDescriptor fd(Journal::openForReading(newestFirst[i].journal, damage));
        const std::optional<Journal::Header> header =
            fd.valid() ? Journal::readHeader(fd.get(), damage) : std::nullopt;
        if (!header) {
            return damaged(newestFirst[index], newestFirst[i], damage);
        }
        journals.emplace_back(std::move(fd), *header);
    }
    for (std::size_t i = 0; i <= index; ++i) {
        std::error_code error;
        const std::string damage =
            Journal::forEachRecord(journals[i].first.get(), journals[i].second,
                                   [&](std::uint64_t offset, std::string_view bytes) {
                                       error = write(offset, bytes);
                                       return !error;
                                   });
        if (error) {
            return "cannot write the restored blocks: " + error.message();
        }
        if (!damage.empty()) {
            return damaged(newestFirst[index], newestFirst[i], damage);
        }
    }
    return std::nullopt;
}

Outcome toCopy(const VersionStore& store, const VersionedImage& image, std::string_view id,
               const fs::path& destination) {
    const std::vector<Version> versions = store.list(image.library, image.relPath, true);
    std::string refusal;
    if (!find(versions, id, image.relPath, refusal)) {
        return Outcome::refused(refusal);
    }
    if (const std::optional<std::string> taken = checkDestination(destination)) {
        return Outcome::refused(*taken);
    }
    const fs::path source = image.library / image.relPath;
    const FileDescriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from.valid()) {
        return Outcome::failed("cannot read " + source.string() + ": " + lastSystemError().message());
    }
    std::error_code error;
    NewFile copy(destination, error);
    if (error) {
        return Outcome::failed("cannot write beside " + destination.string() + ": " +
                               error.message());
    }
    struct stat info {};
    fstat(from.get(), &info);
    fchmod(copy.fd(), info.st_mode & 0666);
    Outcome restored;
    error = Files::copyAll(from.get(), copy.fd());
    if (const std::optional<std::string> failed =
            error ? "cannot copy: " + error.message()
                  : restoreInto(copy.fd(), store, image, id, restored)) {
        return Outcome::failed(*failed);
    }
    error = copy.place(destination);
    if (error == std::errc::file_exists) {
        return Outcome::refused(checkDestination(destination).value_or(error.message()));
    }
    if (error) {
        return Outcome::failed("cannot make " + destination.string() + ": " + error.message());
    }
    return restored;
}

} // namespace vorn::VersionRestore
