#include "server/DiskIO.h"

#include "library/DosOrder.h"
#include "library/FolderWalk.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "server/Http.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <variant>

namespace vorn::DiskIO {
namespace {

Answer plain(const Request& request, int code, std::string_view body) {
    return {Http::answer(request, code, "text/plain", body), std::nullopt, 0, 0};
}

// The Last-Modified line of the file last answered; images change far less often than
// they are read.
const std::string& lastModifiedLine(Date modified) {
    thread_local std::optional<Date> date;
    thread_local std::string line;
    if (date != modified) {
        line = Http::lastModifiedHeader(modified);
        date = modified;
    }
    return line;
}

void appendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// Where a write goes once every check passed.
struct WriteTarget {
    OpenFile file;
    std::uint64_t offset = 0;
    bool dosOrder = false;
};

// Calls `visit(DosOrder::Piece)` for the stretches of the file that `length` bytes at
// `offset` of the image's view lie in: one for most images, one per sector for a disk
// in DOS sector order.
template <class Visit>
void forFilePieces(bool dosOrder, std::uint64_t offset, std::uint64_t length, Visit&& visit) {
    if (dosOrder) {
        DosOrder::forEachPiece(offset, length, visit);
    } else {
        visit(DosOrder::Piece{offset, 0, length});
    }
}

using WriteCheck = std::variant<Answer, WriteTarget>;

// The listed image a write's request path names: decoded once more, or as it stands.
std::optional<std::string> listedImage(const ShareState& state, const std::string& path) {
    for (const bool decode : {true, false}) {
        std::optional<std::string> relative = FolderWalk::requestRelPath(path, decode);
        if (relative && state.catalog().lists(*relative)) {
            return relative;
        }
    }
    return std::nullopt;
}

// The checks of a write of `length` bytes, in the order their answers take precedence.
// Only the disk images the catalog lists take writes: no text file, no image the scan
// passed over. The file is looked at now, not as an earlier request left it.
WriteCheck checkWrite(ShareState& state, const Request& request, std::uint64_t length) {
    if (!state.writable) {
        return plain(request, 403, "");
    }
    const std::optional<std::string> image = listedImage(state, request.path);
    if (!image) {
        return plain(request, state.files.library(request.path, state.folder()) ? 403 : 404, "");
    }
    std::optional<OpenFile> file = state.files.forWriting(*image, state.folder());
    if (!file) {
        return plain(request, 404, "");
    }
    const std::optional<std::uint64_t> offset = writeOffset(request.header("content-range"));
    if (!offset) {
        return plain(request, 400, "");
    }
    if (*offset > file->size || length > file->size - *offset) {
        return plain(request, 416, "");
    }
    const bool dosOrder = state.catalog().dosOrdered(*image);
    if (!file->canWrite || (dosOrder && file->size != DosOrder::diskBytes)) {
        return plain(request, 500, "");
    }
    return WriteTarget{std::move(*file), *offset, dosOrder};
}

// The blocks about to be written are saved to the image's version first: before the
// block itself, so that a share killed in between leaves them saved.
void keepVersion(ShareState& state, const OpenFile& file, std::uint64_t offset,
                 std::uint64_t length) {
    if (!state.versions) {
        return;
    }
    const Journal::Stamp before =
        Journal::stampOf(file.size, file.modified.value_or(Date{}), file.inode);
    if (auto line = state.versions->beforeWrite(state.folder(), *file.key, file.fd->get(), before,
                                                offset, length)) {
        state.log(*line);
        state.status.versionsChanged.set(*file.key, std::chrono::system_clock::now());
    }
}

// A sparse image takes disk blocks only as its holes are written: on a full disk its
// write would fail half-way, after its version was kept. Taking the blocks first makes
// such a write fail whole, before anything is changed. An image without holes needs no
// new blocks, and is spared the call; a file system that cannot take blocks ahead
// leaves it to the write.
std::error_code reserveBlocks(const OpenFile& file, std::uint64_t offset, std::uint64_t length) {
    if (!file.sparse || length == 0 ||
        fallocate(file.fd->get(), FALLOC_FL_KEEP_SIZE, off_t(offset), off_t(length)) == 0) {
        return {};
    }
    if (errno == ENOSPC || errno == EDQUOT) {
        return {errno, std::generic_category()};
    }
    return {};
}

std::string putLine(const OpenFile& file, std::uint64_t offset, std::uint64_t length) {
    return "PUT " + file.path.filename().string() + " @" + std::to_string(offset) + " +" +
           std::to_string(length);
}

// After a write that went through: its date for Last-Modified, the image's state for its
// version, the time in the status, the log line, and the warning when two cards write it.
void noteWrite(ShareState& state, const OpenFile& file, std::uint64_t offset, std::uint64_t length,
               std::string_view peer) {
    const Date now = std::chrono::system_clock::now();
    const std::optional<Journal::Stamp> after = state.files.noteWritten(file, now);
    if (state.versions && after) {
        state.versions->afterWrite(*file.key, *after);
    }
    state.status.lastWrite.set(*file.key, now);
    state.log(putLine(file, offset, length));
    if (const auto warning = state.writers.noteWrite(*file.key, std::string(peer),
                                                     std::chrono::steady_clock::now())) {
        state.log(*warning);
    }
}

} // namespace

std::optional<ByteRange> chooseRange(const std::string* rangeHeader, std::uint64_t size) {
    const std::uint64_t last = size == 0 ? 0 : size - 1;
    if (rangeHeader == nullptr || !rangeHeader->starts_with("bytes=")) {
        return ByteRange{0, last, false};
    }
    const std::vector<std::string> pieces =
        Text::splitNonEmpty(std::string_view(*rangeHeader).substr(6), ',');
    if (pieces.empty()) {
        return ByteRange{0, last, false}; // "bytes=" with nothing usable
    }
    const std::string_view piece = pieces.front();
    const auto dash = piece.find('-');
    const std::string_view first = piece.substr(0, dash);
    const std::optional<std::string_view> second =
        dash == std::string_view::npos ? std::nullopt : std::optional(piece.substr(dash + 1));
    if (!first.empty()) {
        const std::uint64_t start = parseUnsigned(first).value_or(0);
        std::uint64_t end = second ? parseUnsigned(*second).value_or(last) : last;
        end = std::min(end, last);
        if (start > end || start >= size) {
            return std::nullopt;
        }
        return ByteRange{start, end, true};
    }
    const std::uint64_t suffix = second ? parseUnsigned(*second).value_or(0) : 0;
    if (suffix >= size) {
        return size == 0 ? std::nullopt : std::optional(ByteRange{0, last, true});
    }
    if (suffix == 0) {
        return std::nullopt;
    }
    return ByteRange{size - suffix, last, true};
}

std::string fileHead(const Request& request, const ByteRange& range, std::uint64_t size,
                     bool writable, std::optional<Date> modified) {
    const std::uint64_t length = size == 0 ? 0 : range.end - range.start + 1;
    std::string head;
    head.reserve(320); // the longest head fits: one allocation
    head += range.partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    head += "Content-Type: application/octet-stream\r\nAccept-Ranges: bytes\r\n";
    head += writable ? "X-Vorn-Writable: 1\r\n" : "X-Vorn-Writable: 0\r\n";
    head += "X-Vorn-Poll: 5\r\n";
    if (range.partial) {
        head += "Content-Range: bytes ";
        appendNumber(head, range.start);
        head += '-';
        appendNumber(head, range.end);
        head += '/';
        appendNumber(head, size);
        head += "\r\n";
    }
    if (modified) {
        head += lastModifiedLine(*modified);
    }
    head += "Content-Length: ";
    appendNumber(head, length);
    head += "\r\n";
    head += Http::connectionHeader(request);
    head += "\r\n";
    return head;
}

std::string unsatisfiable(std::uint64_t size) {
    return "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
           "\r\nContent-Length: 0\r\n\r\n";
}

std::optional<std::uint64_t> writeOffset(const std::string* contentRange) {
    if (contentRange == nullptr || !contentRange->starts_with("bytes ")) {
        return 0;
    }
    const std::vector<std::string> spans =
        Text::splitNonEmpty(std::string_view(*contentRange).substr(6), '/');
    if (spans.empty()) {
        return std::nullopt;
    }
    const std::vector<std::string> ends = Text::splitNonEmpty(spans.front(), '-');
    if (ends.empty()) {
        return std::nullopt;
    }
    return parseUnsigned(ends.front());
}

Answer serveImage(ShareState& state, const Request& request) {
    const std::optional<OpenFile> file = state.files.library(request.path, state.folder());
    // A file this process cannot write is announced read-only, or the card would mount it
    // writable and fail at its first write.
    const bool writable = state.writable && file && file->canWrite;
    const bool dosOrder = file && file->key && state.catalog().dosOrdered(*file->key);
    if (dosOrder && file->size != DosOrder::diskBytes) {
        // Changed since the scan: no longer a disk whose ProDOS view can be served.
        return plain(request, 500, "read error\n");
    }
    Answer answer = serveFile(state, request, file, file ? file->key : std::nullopt, writable);
    answer.dosOrder = dosOrder && answer.file;
    return answer;
}

bool readBody(const Answer& answer, char* out) {
    bool whole = true;
    forFilePieces(answer.dosOrder, answer.offset, answer.length, [&](const DosOrder::Piece& piece) {
        std::size_t got = 0;
        whole = whole &&
                !Files::readAt(answer.file->fd->get(), out + piece.rangeOffset, piece.length,
                               piece.fileOffset, got) &&
                got == piece.length;
    });
    return whole;
}

Answer serveFile(ShareState& state, const Request& request, const std::optional<OpenFile>& file,
                 const std::optional<std::string>& key, std::optional<bool> writable) {
    if (!file) {
        return plain(request, 404, "no such file\n");
    }
    const std::optional<ByteRange> range = chooseRange(request.header("range"), file->size);
    if (!range) {
        return {unsatisfiable(file->size), std::nullopt, 0, 0};
    }
    Answer answer{
        fileHead(request, *range, file->size, writable.value_or(state.writable), file->modified),
        std::nullopt, 0, 0};
    if (request.method == "HEAD") {
        return answer;
    }
    const std::uint64_t length = file->size == 0 ? 0 : range->end - range->start + 1;
    state.status.bytesServed += length;
    if (key) {
        state.status.lastRead.set(*key, std::chrono::system_clock::now());
    }
    if (length > logThreshold) {
        state.log("GET " + file->path.filename().string() + " [" + std::to_string(range->start) +
                  "-" + std::to_string(range->end) + "]");
    }
    answer.file = file;
    answer.offset = range->start;
    answer.length = length;
    return answer;
}

std::optional<Answer> refusePut(ShareState& state, const Request& request, std::uint64_t length) {
    WriteCheck check = checkWrite(state, request, length);
    return std::holds_alternative<Answer>(check) ? std::optional(std::get<Answer>(std::move(check)))
                                                 : std::nullopt;
}

Answer putImage(ShareState& state, const Request& request, std::string_view body,
                std::string_view peer) {
    WriteCheck check = checkWrite(state, request, body.size());
    if (Answer* refused = std::get_if<Answer>(&check)) {
        return std::move(*refused);
    }
    // Named references, not a structured binding: clang before 16 cannot capture those.
    const WriteTarget& target = std::get<WriteTarget>(check);
    const OpenFile& file = target.file;
    const std::uint64_t offset = target.offset;
    const bool dosOrder = target.dosOrder;
    // A write that failed is told as failed, and leaves the image's date, its last write
    // and its version's state as they were: the card must not take it for saved.
    std::error_code failed;
    forFilePieces(dosOrder, offset, body.size(), [&](const DosOrder::Piece& piece) {
        failed = failed ? failed : reserveBlocks(file, piece.fileOffset, piece.length);
    });
    if (!failed) {
        forFilePieces(dosOrder, offset, body.size(), [&](const DosOrder::Piece& piece) {
            keepVersion(state, file, piece.fileOffset, piece.length);
        });
        forFilePieces(dosOrder, offset, body.size(), [&](const DosOrder::Piece& piece) {
            failed = failed ? failed
                            : Files::writeAt(file.fd->get(),
                                             body.substr(piece.rangeOffset, piece.length),
                                             piece.fileOffset);
        });
    }
    if (failed) {
        state.log(putLine(file, offset, body.size()) + " failed: " + failed.message());
        return plain(request, 500, "");
    }
    noteWrite(state, file, offset, body.size(), peer);
    return plain(request, 200, "");
}

} // namespace vorn::DiskIO
