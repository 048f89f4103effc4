#include "versions/VersionStore.h"

#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Sha256.h"
#include "platform/XdgPaths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;

std::string digest(std::string_view text) {
    return Sha256::hex(text).substr(0, 16);
}

// A version as its journal tells it; a journal that cannot prove itself is one too, listed
// as damaged, so that the versions before it are not blamed on another program.
Version readVersion(const fs::path& journal) {
    const Date start(std::chrono::seconds(*VersionStore::journalSeconds(journal)));
    Version version;
    version.id = VersionStore::idOf(start);
    version.start = start;
    version.journal = journal;
    const int fd = Journal::openForReading(journal, version.damage);
    if (fd < 0) {
        return version;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0) {
        version.bytes = std::uint64_t(info.st_size);
        version.blocks = Journal::recordCount(version.bytes);
    }
    if (const std::optional<Journal::Header> header = Journal::readHeader(fd, version.damage)) {
        version.header = *header;
    }
    close(fd);
    return version;
}

// The versions read from their journals, oldest first; journals that vanished meanwhile
// (dropped by the share) are left out.
std::vector<Version> readVersions(const std::vector<fs::path>& journals) {
    std::vector<Version> versions;
    for (const fs::path& journal : journals) {
        Version version = readVersion(journal);
        if (version.damage.empty() || Files::exists(journal)) {
            versions.push_back(std::move(version));
        }
    }
    return versions;
}

// Marks every version from which the chain of stamps up to the image as it is now breaks,
// with the share's reason when it broke the chain itself, and every version behind a
// damaged one.
void markChain(std::vector<Version>& oldestFirst, const std::optional<Journal::Stamp>& now) {
    bool intact = now.has_value();
    std::string lost;
    std::string damaged;
    for (std::size_t i = oldestFirst.size(); i-- > 0;) {
        Version& version = oldestFirst[i];
        if (!damaged.empty() || !version.damage.empty()) {
            version.behindDamaged = damaged;
            damaged = damaged.empty() ? version.id : damaged;
            continue;
        }
        const Journal::Stamp& after =
            i + 1 < oldestFirst.size() ? oldestFirst[i + 1].header.before : *now;
        if (intact && !(version.header.last == after)) {
            intact = false;
            lost = version.header.lostError == 0
                       ? ""
                       : std::generic_category().message(version.header.lostError);
        }
        version.changedOutside = !intact;
        version.lost = lost;
    }
}

// Written whole under a name of its own and renamed into place: a disk that fills up
// midway leaves no name file rather than an empty one, which nothing would mend.
std::error_code writeNameFile(const fs::path& file, const std::string& text) {
    if (Files::exists(file)) {
        return {};
    }
    const fs::path part = file.string() + "." + std::to_string(getpid()) + ".part";
    if (!Files::write(part, text + "\n") || !Files::move(part, file)) {
        const std::error_code error(errno, std::generic_category());
        Files::removeQuietly(part);
        return error;
    }
    return {};
}

} // namespace

std::string Version::note() const {
    if (!damage.empty()) {
        return "damaged (" + damage + ")";
    }
    if (!behindDamaged.empty()) {
        return "cannot be restored: " + behindDamaged + " is damaged";
    }
    if (changedOutside) {
        return lost.empty() ? "changed outside the share since"
                            : "a version could not be kept: " + lost;
    }
    return {};
}

fs::path VersionStore::defaultRoot() {
    return XdgPaths::dataDir() / "versions";
}

fs::path VersionStore::folderOf(const fs::path& library, std::string_view relPath) const {
    return m_root / digest(Files::realPath(library.string())) / digest(relPath);
}

std::error_code VersionStore::makeFolder(const fs::path& library, std::string_view relPath) const {
    const fs::path folder = folderOf(library, relPath);
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        return error;
    }
    // Versions hold the images' bytes: they are the user's alone.
    fs::permissions(m_root, fs::perms::owner_all, error);
    error = writeNameFile(folder.parent_path() / "library", Files::realPath(library.string()));
    return error ? error : writeNameFile(folder / "image", std::string(relPath));
}

std::optional<VersionedImage> VersionStore::locate(const fs::path& image) const {
    std::error_code ec;
    const fs::path given = fs::absolute(image, ec).lexically_normal();
    for (const fs::path& path : {given, fs::path(Files::realPath(given.string()))}) {
        for (fs::path folder = path.parent_path();; folder = folder.parent_path()) {
            const std::string relPath = path.lexically_relative(folder).generic_string();
            if (fs::is_directory(folderOf(folder, relPath), ec)) {
                return VersionedImage{folder, relPath};
            }
            if (folder == folder.root_path() || !folder.has_relative_path()) {
                break;
            }
        }
    }
    return std::nullopt;
}

std::vector<Version> VersionStore::list(const fs::path& library, std::string_view relPath,
                                        bool settle) const {
    const fs::path folder = folderOf(library, relPath);
    const fs::path image = library / fs::path(std::string(relPath));
    std::vector<Version> versions = readVersions(journals(folder));
    std::optional<Journal::Stamp> now = Journal::stampOf(image);
    // A share writing the image records its stamp a moment after the write: give it that
    // moment before deciding that something else changed the image.
    for (int tries = 0;
         settle && tries < 3 && !versions.empty() && now && !(versions.back().header.last == *now);
         ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::vector<Version> again = readVersions({versions.back().journal});
        versions.back() = again.empty() ? versions.back() : again.front();
        now = Journal::stampOf(image);
    }
    markChain(versions, now);
    std::reverse(versions.begin(), versions.end());
    return versions;
}

std::vector<fs::path> VersionStore::journals(const fs::path& folder) {
    std::vector<std::pair<std::int64_t, fs::path>> found;
    Files::forEachEntry(folder, [&](const fs::directory_entry& entry) {
        if (const std::optional<std::int64_t> seconds = journalSeconds(entry.path())) {
            found.emplace_back(*seconds, entry.path());
        }
    });
    std::sort(found.begin(), found.end());
    std::vector<fs::path> paths;
    for (auto& [seconds, path] : found) {
        paths.push_back(std::move(path));
    }
    return paths;
}

void VersionStore::prune(const fs::path& folder, std::int64_t kept, std::uint64_t maxBytes) const {
    std::vector<fs::path> own = journals(folder);
    const std::size_t keep = std::size_t(std::max<std::int64_t>(kept, 1));
    for (std::size_t i = 0; i + keep < own.size(); ++i) {
        Files::removeQuietly(own[i]);
    }
    // Every journal but each image's newest, oldest first, with the total of them all.
    std::vector<std::tuple<std::int64_t, std::uint64_t, fs::path>> droppable;
    std::uint64_t total = 0;
    Files::forEachEntry(m_root, [&](const fs::directory_entry& library) {
        Files::forEachEntry(library.path(), [&](const fs::directory_entry& image) {
            const std::vector<fs::path> paths = journals(image.path());
            for (std::size_t i = 0; i < paths.size(); ++i) {
                const std::uint64_t size = Files::size(paths[i]).value_or(0);
                total += size;
                if (i + 1 < paths.size()) {
                    droppable.emplace_back(*journalSeconds(paths[i]), size, paths[i]);
                }
            }
        });
    });
    std::sort(droppable.begin(), droppable.end());
    for (auto it = droppable.begin(); total > maxBytes && it != droppable.end(); ++it) {
        Files::removeQuietly(std::get<2>(*it));
        total -= std::get<1>(*it);
    }
}

std::string VersionStore::journalName(std::int64_t seconds) {
    char name[40];
    std::snprintf(name, sizeof name, "%012lld.journal", static_cast<long long>(seconds));
    return name;
}

std::optional<std::int64_t> VersionStore::journalSeconds(const fs::path& journal) {
    const std::string name = journal.filename().string();
    constexpr std::string_view suffix = ".journal";
    if (!name.ends_with(suffix) || name.size() == suffix.size()) {
        return std::nullopt;
    }
    // Digits only: parseUnsigned takes no sign, and a journal's seconds fit in 63 bits.
    const std::optional<std::uint64_t> seconds =
        parseUnsigned(std::string_view(name).substr(0, name.size() - suffix.size()));
    return seconds && *seconds <= std::uint64_t(INT64_MAX) ? std::optional(std::int64_t(*seconds))
                                                           : std::nullopt;
}

std::string VersionStore::idOf(Date start) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(start);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long minutes = local.tm_gmtoff / 60;
    std::snprintf(text + n, sizeof text - n, "%c%02ld:%02ld", minutes < 0 ? '-' : '+',
                  std::labs(minutes) / 60, std::labs(minutes) % 60);
    return text;
}

bool VersionStore::isId(std::string_view text) {
    constexpr std::string_view form = "dddd-dd-ddTdd:dd:dd+dd:dd";
    constexpr std::size_t withoutOffset = 19;
    return (text.size() == form.size() || text.size() == withoutOffset) &&
           std::equal(text.begin(), text.end(), form.begin(), [](char got, char want) {
               return want == 'd' ? got >= '0' && got <= '9'
                                  : got == want || (want == '+' && got == '-');
           });
}

fs::path VersionStore::snapshotName(const fs::path& image, std::string_view id) {
    std::string stamp(id);
    std::replace(stamp.begin(), stamp.end(), 'T', ' ');
    std::replace(stamp.begin(), stamp.end(), ':', '.');
    return image.parent_path() /
           (image.stem().string() + " (" + stamp + ")" + image.extension().string());
}

} // namespace vorn
