// Feeds arbitrary bytes to everything that reads a request before any route sees it:
// the request framer, the head parser, the prefix-relative names of the media routes and
// the way back from a request path to a library file, by the kernel and by the walk
// that stands in for it. Each one's promise is checked here and a broken promise aborts,
// so the fuzzer keeps the input that broke it.

#include "library/BeneathWalk.h"
#include "library/FolderWalk.h"
#include "library/LibraryRoot.h"
#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "server/Http.h"
#include "server/OpenFiles.h"
#include "server/Request.h"
#include "server/RequestFramer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// The scratch tree: base/library is the share, base/outside must stay unreachable.
struct Scratch {
    fs::path base;
    fs::path library;
    std::string libraryReal; // realpath of the library, with a trailing "/"
};

Scratch* scratch = nullptr;

[[noreturn]] void fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "HeadFuzz invariant broken: %s [%.*s]\n", what, int(detail.size()),
                 detail.data());
    std::abort();
}

void writeFile(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

void removeScratch() {
    std::error_code ec;
    if (scratch != nullptr) {
        fs::remove_all(scratch->base, ec);
    }
}

// A library holding every kind of name resolve must refuse next to ones it must find:
// a hidden file, a hidden folder, and links that lead out of the library by file and by
// folder, relative and absolute, plus links that stay inside, relative and absolute.
void makeScratch() {
    std::string pattern = (fs::temp_directory_path() / "vorn-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("HeadFuzz: mkdtemp");
        std::exit(1);
    }
    scratch = new Scratch{pattern, fs::path(pattern) / "library", {}};
    const fs::path& lib = scratch->library;
    fs::create_directories(lib / "Games");
    fs::create_directories(lib / ".cache");
    fs::create_directories(scratch->base / "outside");
    writeFile(lib / "Games" / "Zork.po", "zork");
    writeFile(lib / "Top.2mg", "top");
    writeFile(lib / ".hidden.po", "hidden");
    writeFile(lib / ".cache" / "thumb.po", "thumb");
    writeFile(scratch->base / "outside" / "secret.po", "secret");
    fs::create_symlink("../outside/secret.po", lib / "Leak.po");
    fs::create_symlink("../outside", lib / "Away");
    fs::create_symlink("Games/Zork.po", lib / "Alias.po");
    fs::create_symlink(lib / "Games" / "Zork.po", lib / "Absolute.po");
    fs::create_symlink(scratch->base / "outside" / "secret.po", lib / "AbsoluteLeak.po");
    fs::create_symlink(scratch->base / "outside", lib / "AbsoluteAway");
    scratch->libraryReal = vorn::Files::realPath(lib.string()) + "/";
    std::atexit(removeScratch);
}

// What a framer makes of `bytes` fed in pieces of `piece` bytes: a line per step, with
// the head's request line and the body it held. The bodies of requests whose first byte
// of path is odd are skipped, as answered from their head.
std::string frame(std::string_view bytes, std::size_t piece) {
    vorn::RequestFramer framer;
    std::string trace;
    std::size_t fed = 0;
    while (true) {
        switch (framer.next()) {
        case vorn::RequestFramer::Step::needMore: {
            if (fed == bytes.size()) {
                return trace + "more";
            }
            const std::size_t n = std::min(piece, bytes.size() - fed);
            framer.append(bytes.substr(fed, n));
            fed += n;
            break;
        }
        case vorn::RequestFramer::Step::head: {
            const vorn::Request& request = framer.request();
            trace += "head " + request.method + " " + request.path + " " +
                     std::to_string(framer.bodyLength()) + "\n";
            const bool skip = !request.path.empty() && (request.path[0] & 1) != 0;
            skip ? framer.skipBody() : framer.holdBody();
            break;
        }
        case vorn::RequestFramer::Step::body:
            if (framer.body().size() != framer.bodyLength()) {
                fail("a body of another length than its head's", bytes);
            }
            trace += "body " + std::string(framer.body()) + "\n";
            framer.done();
            break;
        case vorn::RequestFramer::Step::error:
            return trace + "error " + std::to_string(framer.errorStatus());
        }
    }
}

// However the bytes are split into packets, the requests framed are the same.
void checkFraming(std::string_view bytes, std::size_t piece) {
    const std::string whole = frame(bytes, bytes.size() + 1);
    if (frame(bytes, piece) != whole) {
        fail("framing differs when the bytes come in pieces", bytes);
    }
    if (bytes.size() <= 512 && frame(bytes, 1) != whole) {
        fail("framing differs when the bytes come one by one", bytes);
    }
}

void checkRequest(std::string_view head) {
    vorn::Request request;
    try {
        request = vorn::Request::parse(head);
    } catch (...) {
        fail("Request::parse threw", head);
    }
    for (const auto& [name, value] : request.headers) {
        if (name.empty() || name.find(':') != std::string::npos) {
            fail("header name empty or holding a colon", name);
        }
        for (const char c : name) {
            if (c >= 'A' && c <= 'Z') {
                fail("header name not lower-cased", name);
            }
        }
        if (!value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                               value.back() == ' ' || value.back() == '\t')) {
            fail("header value not trimmed", value);
        }
    }
    if (!(vorn::Request::parse(head) == request)) {
        fail("Request::parse gave two answers for one head", head);
    }
}

void checkServedPath(std::string_view path, std::string_view prefix, bool decodeAgain) {
    const std::optional<std::string> name = vorn::Http::servedPath(path, prefix, decodeAgain);
    if (!name) {
        return;
    }
    if (name->empty() || name->front() == '/' || name->back() == '/') {
        fail("servedPath empty or with an outer slash", *name);
    }
    std::size_t start = 0;
    while (start <= name->size()) {
        std::size_t end = name->find('/', start);
        end = end == std::string::npos ? name->size() : end;
        if (end == start) {
            fail("servedPath has an empty piece", *name);
        }
        if ((*name)[start] == '.') {
            fail("servedPath has a dot piece", *name);
        }
        start = end + 1;
    }
}

// The walk that stands in for openat2 where the kernel lacks it must open exactly the
// file the library's own open does (the kernel's lookup first), or fail as it does.
void checkWalk(const std::string& relPath) {
    static const vorn::LibraryRoot root(scratch->library);
    static const vorn::FileDescriptor folder(
        open(scratch->library.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    static const vorn::BeneathWalk walk(folder.get(), scratch->library);
    const vorn::FileDescriptor opened(root.open(relPath, O_PATH));
    const vorn::FileDescriptor walked(walk.open(relPath, O_PATH | O_CLOEXEC));
    struct stat a {
    }, b{};
    const bool bothFound = opened.valid() && walked.valid() && fstat(opened.get(), &a) == 0 &&
                           fstat(walked.get(), &b) == 0;
    if (opened.valid() != walked.valid() ||
        (bothFound && (a.st_dev != b.st_dev || a.st_ino != b.st_ino))) {
        fail("the walk and the kernel open differently", relPath);
    }
}

// The file the share reads for a request path: a regular file inside the library, named
// without hidden or climbing pieces.
void checkResolve(std::string_view requestPath) {
    for (const bool decode : {true, false}) {
        if (const auto relPath = vorn::FolderWalk::requestRelPath(requestPath, decode)) {
            checkWalk(*relPath);
        }
    }
    vorn::OpenFiles files;
    const std::optional<vorn::OpenFile> found = files.library(requestPath, scratch->library);
    if (!found) {
        return;
    }
    const fs::path& file = found->path;
    const std::string real = vorn::Files::realPath(file.string());
    if (!real.starts_with(scratch->libraryReal)) {
        fail("a read left the library", real);
    }
    std::error_code ec;
    if (fs::is_directory(file, ec)) {
        fail("a read opened a folder", file.string());
    }
    for (const fs::path& piece : file.lexically_relative(scratch->library)) {
        const std::string text = piece.string();
        if (text.empty() || text.front() == '.') {
            fail("a read named a hidden or climbing piece", file.string());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makeScratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkFraming(bytes, size == 0 ? 1 : data[0] % size + 1);

    // The connection parses only what comes before the blank line.
    const std::size_t end = bytes.find("\r\n\r\n");
    const std::string_view head = bytes.substr(0, end);
    checkRequest(head);

    // Paths reach the routes both as parsed targets and, through them, as raw text.
    const std::string parsedPath = vorn::Request::parse(head).path;
    for (const std::string_view path : {bytes, std::string_view(parsedPath)}) {
        for (const bool decodeAgain : {true, false}) {
            checkServedPath(path, "/audio/", decodeAgain);
            checkServedPath(path, "/pictures/", decodeAgain);
        }
        checkResolve(path);
    }
    return 0;
}
