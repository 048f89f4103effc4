#include "platform/JsonObjectFile.h"

#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vorn::JsonObjectFile {
namespace {

// Far above any real settings file; a larger one is not read into memory at all.
constexpr off_t kMaxBytes = 64 << 20;

std::string because(const std::filesystem::path& file, int error) {
    return "cannot read " + file.string() + ": " +
           std::error_code(error, std::generic_category()).message();
}

Read failed(Read::State state, std::string problem) {
    return Read{state, nlohmann::json::object(), std::move(problem)};
}

// O_NONBLOCK: a named pipe in the file's place must not hold the program up until some
// writer appears. Only a regular file is read.
Read readText(const std::filesystem::path& file, std::string& text) {
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? Read{} : failed(Read::State::unreadable, because(file, errno));
    }
    struct stat info {};
    Read result{Read::State::read, nlohmann::json::object(), {}};
    if (fstat(fd, &info) != 0) {
        result = failed(Read::State::unreadable, because(file, errno));
    } else if (!S_ISREG(info.st_mode)) {
        result = failed(Read::State::unreadable, file.string() + " is not a regular file");
    } else if (info.st_size > kMaxBytes) {
        result = failed(Read::State::malformed, file.string() + " is larger than 64 MB");
    }
    char buffer[65536];
    while (result.state == Read::State::read) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, std::size_t(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            result = failed(Read::State::unreadable, because(file, errno));
        }
    }
    close(fd);
    return result;
}

} // namespace

Read read(const std::filesystem::path& file) {
    std::string text;
    Read result = readText(file, text);
    if (result.state != Read::State::read) {
        return result;
    }
    // The parser itself builds any depth without recursion; writing such a document back
    // indented would not end well, so it is refused here.
    bool tooDeep = false;
    const auto depthCheck = [&tooDeep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        tooDeep = tooDeep || depth > maxDepth;
        return !tooDeep;
    };
    result.doc = nlohmann::json::parse(text, depthCheck, false);
    if (tooDeep) {
        return failed(Read::State::malformed, file.string() + " is nested more than " +
                                                  std::to_string(maxDepth) + " levels deep");
    }
    if (!result.doc.is_object()) {
        return failed(Read::State::malformed, file.string() + " does not hold a JSON object");
    }
    return result;
}

namespace {

// The file a path finally names, following links (a dangling one too: writing creates its
// target).
std::filesystem::path linkedFile(std::filesystem::path file) {
    std::error_code ec;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(file, ec); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(file, ec);
        if (ec) {
            break;
        }
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    return file;
}

} // namespace

bool writeAtomically(const std::filesystem::path& file, const std::string& text) {
    const std::filesystem::path target = linkedFile(file);
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    const std::filesystem::path temp = target.string() + ".tmp" + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool ok = !Files::writeAll(fd, text);
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), target.c_str()) != 0) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace vorn::JsonObjectFile
