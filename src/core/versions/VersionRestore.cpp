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

std::string reason() {
    return std::strerror(errno);
}

// The whole of `from` into `to`: shared extents where the file system offers them.
bool copyAll(int from, int to) {
    for (;;) {
        const ssize_t n = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (n == 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            break;
        }
    }
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
        return false;
    }
    char buffer[65536];
    for (ssize_t n; (n = read(from, buffer, sizeof buffer)) != 0;) {
        if (n < 0 ? errno != EINTR : write(to, buffer, std::size_t(n)) != n) {
            return false;
        }
    }
    return true;
}

// Renames without replacing: a file that appeared at `to` meanwhile is kept.
bool placeNew(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    return link(from.c_str(), to.c_str()) == 0 && unlink(from.c_str()) == 0;
}

std::optional<std::string> checkDestination(const fs::path& destination) {
    std::error_code ec;
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
                                       bool& changedOutside) {
    // Read after the copy was made: see the header.
    const std::vector<Version> versions = store.list(image.library, image.relPath, true);
    const std::optional<std::size_t> index = find(versions, id);
    if (!index) {
        return "version " + std::string(id) + " was dropped meanwhile";
    }
    const std::optional<std::string> failed =
        replay(versions, *index, [copy](std::uint64_t offset, std::string_view bytes) {
            return pwrite(copy, bytes.data(), bytes.size(), off_t(offset)) == ssize_t(bytes.size());
        });
    if (failed) {
        return failed;
    }
    if (ftruncate(copy, off_t(versions[*index].header.before.size)) != 0 || fsync(copy) != 0) {
        return "cannot write the copy: " + reason();
    }
    changedOutside = versions[*index].changedOutside;
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> find(const std::vector<Version>& versions, std::string_view id) {
    for (std::size_t i = 0; i < versions.size(); ++i) {
        if (versions[i].id == id) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string> replay(const std::vector<Version>& newestFirst, std::size_t index,
                                  const WriteFn& write) {
    Descriptors open;
    std::vector<int> journals;
    for (std::size_t i = 0; i <= index; ++i) {
        journals.push_back(open.add(::open(newestFirst[i].journal.c_str(), O_RDONLY | O_CLOEXEC)));
        if (journals.back() < 0) {
            return "cannot read version " + newestFirst[i].id + ": " + reason();
        }
    }
    for (std::size_t i = 0; i <= index; ++i) {
        bool written = true;
        const bool read =
            Journal::forEachRecord(journals[i], [&](std::uint64_t offset, std::string_view bytes) {
                return written = write(offset, bytes);
            });
        if (!written) {
            return "cannot write the restored blocks: " + reason();
        }
        if (!read) {
            return "version " + newestFirst[i].id +
                   " is damaged: " + newestFirst[i].journal.string();
        }
    }
    return std::nullopt;
}

Outcome toCopy(const VersionStore& store, const VersionedImage& image, std::string_view id,
               const fs::path& destination) {
    const std::vector<Version> versions = store.list(image.library, image.relPath, true);
    const std::optional<std::size_t> index = find(versions, id);
    if (!index) {
        return Outcome::refused("no version " + std::string(id) + " of " + image.relPath);
    }
    if (const std::optional<std::string> refusal = checkDestination(destination)) {
        return Outcome::refused(*refusal);
    }
    Descriptors open;
    const fs::path source = image.library / image.relPath;
    const int from = open.add(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    std::string part =
        (destination.parent_path() / ("." + destination.filename().string() + ".restoring-XXXXXX"))
            .string();
    const int to = from < 0 ? -1 : open.add(mkostemp(part.data(), O_CLOEXEC));
    if (from < 0 || to < 0) {
        return Outcome::failed("cannot " + std::string(from < 0 ? "read " : "write beside ") +
                               (from < 0 ? source : destination).string() + ": " + reason());
    }
    struct stat info {};
    fstat(from, &info);
    fchmod(to, info.st_mode & 0666);
    bool changedOutside = false;
    std::optional<std::string> failed = copyAll(from, to)
                                            ? restoreInto(to, store, image, id, changedOutside)
                                            : "cannot copy: " + reason();
    const bool placed = !failed && placeNew(part, destination);
    if (!placed) {
        const bool taken = !failed && errno == EEXIST;
        failed = failed.value_or("cannot make " + destination.string() + ": " + reason());
        Files::removeQuietly(part);
        return taken ? Outcome::refused(checkDestination(destination).value_or(*failed))
                     : Outcome::failed(*failed);
    }
    return {Outcome::Kind::restored, "", changedOutside};
}

} // namespace vorn::VersionRestore
