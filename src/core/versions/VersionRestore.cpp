#include "versions/VersionRestore.h"

#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn::VersionRestore {
namespace {

namespace fs = std::filesystem;

// Descriptors closed on every way out.
class Descriptors {
public:
    Descriptors() = default;
    ~Descriptors() {
        for (const int fd : m_fds) {
            close(fd);
        }
    }
    Descriptors(const Descriptors&) = delete;
    Descriptors& operator=(const Descriptors&) = delete;
    int add(int fd) {
        if (fd >= 0) {
            m_fds.push_back(fd);
        }
        return fd;
    }

private:
    std::vector<int> m_fds;
};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// The whole of `from` into `to`: shared extents where the file system offers them.
std::error_code copyAll(int from, int to) {
    std::error_code error;
    for (;;) {
        const ssize_t n = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (n == 0) {
            return {};
        }
        if (n < 0 && errno != EINTR) {
            error = lastError();
            break;
        }
    }
    if (error != std::errc::cross_device_link && error != std::errc::function_not_supported &&
        error != std::errc::invalid_argument && error != std::errc::operation_not_supported) {
        return error;
    }
    char buffer[65536];
    auto at = std::uint64_t(lseek(to, 0, SEEK_CUR)); // past what was copied so far
    for (ssize_t n; (n = read(from, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return lastError();
        }
        error = Files::writeAt(to, std::string_view(buffer, std::size_t(n)), at);
        if (error) {
            return error;
        }
        at += std::uint64_t(n);
    }
    return {};
}

// Renames without replacing: a file that appeared at `to` meanwhile is kept.
std::error_code placeNew(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return lastError();
    }
    if (link(from.c_str(), to.c_str()) != 0 || unlink(from.c_str()) != 0) {
        return lastError();
    }
    return {};
}

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
        return "cannot write the copy: " + lastError().message();
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
    const int fd = Journal::openForReading(version.journal, damage);
    if (fd < 0) {
        return damage;
    }
    if (const std::optional<Journal::Header> header = Journal::readHeader(fd, damage)) {
        damage = Journal::forEachRecord(fd, *header,
                                        [](std::uint64_t, std::string_view) { return true; });
    }
    close(fd);
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
    Descriptors open;
    std::vector<std::pair<int, Journal::Header>> journals;
    for (std::size_t i = 0; i <= index; ++i) {
        std::string damage;
        const int fd = open.add(Journal::openForReading(newestFirst[i].journal, damage));
        const std::optional<Journal::Header> header =
            fd < 0 ? std::nullopt : Journal::readHeader(fd, damage);
        if (!header) {
            return damaged(newestFirst[index], newestFirst[i], damage);
        }
        journals.emplace_back(fd, *header);
    }
    for (std::size_t i = 0; i <= index; ++i) {
        std::error_code error;
        const std::string damage =
            Journal::forEachRecord(journals[i].first, journals[i].second,
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
    Descriptors open;
    const fs::path source = image.library / image.relPath;
    const int from = open.add(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    std::error_code error = from < 0 ? lastError() : std::error_code();
    // A short name of its own: the destination's name may be as long as a name can be.
    std::string part = (destination.parent_path() / ".vorn-restore-XXXXXX").string();
    const int to = from < 0 ? -1 : open.add(mkostemp(part.data(), O_CLOEXEC));
    if (from < 0 || to < 0) {
        error = error ? error : lastError();
        return Outcome::failed("cannot " + std::string(from < 0 ? "read " : "write beside ") +
                               (from < 0 ? source : destination).string() + ": " + error.message());
    }
    struct stat info {};
    fstat(from, &info);
    fchmod(to, info.st_mode & 0666);
    Outcome restored;
    error = copyAll(from, to);
    std::optional<std::string> failed =
        error ? "cannot copy: " + error.message() : restoreInto(to, store, image, id, restored);
    error = failed ? std::error_code() : placeNew(part, destination);
    if (failed || error) {
        Files::removeQuietly(part);
    }
    if (error == std::errc::file_exists) {
        return Outcome::refused(checkDestination(destination).value_or(error.message()));
    }
    if (failed || error) {
        return Outcome::failed(
            failed.value_or("cannot make " + destination.string() + ": " + error.message()));
    }
    return restored;
}

} // namespace vorn::VersionRestore
