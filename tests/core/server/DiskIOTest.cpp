#include "server/DiskIO.h"

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"
#include "versions/VersionKeeper.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vorn {
namespace {

using DiskIO::ByteRange;
using namespace std::chrono_literals;

constexpr std::uint64_t kSize = 819200;

// The range chosen for a Range line as text: "416" for none, "whole" when not partial.
std::string chosen(const char* header, std::uint64_t size = kSize) {
    const std::string value = header ? header : "";
    const std::optional<ByteRange> range = DiskIO::chooseRange(header ? &value : nullptr, size);
    if (!range) {
        return "416";
    }
    return (range->partial ? "" : "whole ") + std::to_string(range->start) + "-" +
           std::to_string(range->end);
}

TEST(DiskIOTest, ChooseRangeFollowsEveryRule) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {"bytes=-512", "818688-819199"},
        {"bytes=x-5", "0-5"},
        {"bytes=5-x", "5-819199"},
        {"bytes=5", "5-819199"},
        {"bytes=9-3", "416"},
        {"bytes=819200-", "416"},
        {"bytes=819199-", "819199-819199"},
        {"bytes=,,4-5,0-1", "4-5"},
        {"Bytes=0-1", "whole 0-819199"},
        {"bytes=0-18446744073709551615", "0-819199"},
        {"bytes=-99999999", "0-819199"},
        {"bytes=,,", "whole 0-819199"},
    };
    for (const auto& [header, expected] : cases) {
        EXPECT_EQ(chosen(header), expected) << (header ? header : "no Range line");
    }
    // An empty file has no byte to offer a range of, except as a whole.
    EXPECT_EQ(chosen(nullptr, 0), "whole 0-0");
    EXPECT_EQ(chosen("bytes=0-", 0), "416");
    EXPECT_EQ(chosen("bytes=-5", 0), "416");
    EXPECT_EQ(chosen("bytes=-5", 1), "0-0");
}

// A library with one 800 KB image whose bytes all differ from their neighbours.
class DiskIOShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_bytes = test::pattern(kSize);
        m_image = m_dir.write("lib/Games/Star Run.po", m_bytes);
        m_state.rescan(m_dir / "lib");
    }
    Answer get(const std::string& target, const std::string& headers = "",
               const std::string& method = "GET") {
        return DiskIO::serveImage(m_state,
                                  Request::parse(method + " " + target + " HTTP/1.1" + headers));
    }
    // The status line of a write's answer, which has no body.
    std::string put(const std::string& target, const std::string& body,
                    const std::string& contentRange) {
        const std::string headers =
            contentRange.empty() ? "" : "\r\nContent-Range: " + contentRange;
        const Answer answer = DiskIO::putImage(
            m_state, Request::parse("PUT " + target + " HTTP/1.1" + headers), body);
        return answer.bytes.substr(0, answer.bytes.find("\r\n"));
    }
    std::string onDisk() const { return test::slurp(m_image); }
    // The bytes a file answer carries.
    static std::string bodyOf(const Answer& answer) {
        std::string bytes(answer.length, '\0');
        const bool read = answer.file && pread(answer.file->fd->get(), bytes.data(), bytes.size(),
                                               off_t(answer.offset)) == ssize_t(bytes.size());
        return read ? bytes : "(no file answer)";
    }

    test::TempDir m_dir;
    test::IdleConverters m_converters;
    std::filesystem::path m_image;
    std::string m_bytes;
    ShareState m_state{m_converters.get()};
};

constexpr const char* kTarget = "/Games/Star%20Run.po";

TEST_F(DiskIOShareTest, ReadsAnswerRangesAndRecordWhatWasServed) {
    // 2024-12-03 18:05:09.999 UTC: the date line shows whole seconds, in English, in GMT.
    const timespec times[2] = {{1733249109, 999999999}, {1733249109, 999999999}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_image.c_str(), times, 0), 0);

    const Answer block = get(kTarget, "\r\nRange: bytes=512-1023");
    EXPECT_EQ(block.bytes,
              "HTTP/1.1 206 Partial Content\r\nContent-Type: application/octet-stream\r\n"
              "Accept-Ranges: bytes\r\nX-Vorn-Writable: 1\r\nX-Vorn-Poll: 5\r\n"
              "Content-Range: bytes 512-1023/819200\r\n"
              "Last-Modified: Tue, 03 Dec 2024 18:05:09 GMT\r\n"
              "Content-Length: 512\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_TRUE(block.file && block.file->size == kSize && block.offset == 512 &&
                block.length == 512);
    EXPECT_EQ(m_state.status.bytesServed, 512u);
    const auto readAt = m_state.status.lastRead.find("Games/Star Run.po");
    EXPECT_TRUE(readAt) << "reads are recorded";
    EXPECT_TRUE(m_state.status.recentLines.empty()) << "block reads stay out of the log";

    std::this_thread::sleep_for(2ms);
    const Answer head = get(kTarget, "\r\nRange: bytes=512-1023", "HEAD");
    EXPECT_EQ(head.bytes, block.bytes) << "HEAD answers the head GET would";
    EXPECT_FALSE(head.file);
    EXPECT_EQ(m_state.status.bytesServed, 512u) << "HEAD serves no bytes";
    EXPECT_EQ(m_state.status.lastRead.find("Games/Star Run.po"), readAt) << "HEAD reads nothing";

    m_state.writable = false;
    const Answer whole = get(kTarget, "\r\nConnection: close");
    EXPECT_EQ(whole.bytes, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                           "Accept-Ranges: bytes\r\nX-Vorn-Writable: 0\r\nX-Vorn-Poll: 5\r\n"
                           "Last-Modified: Tue, 03 Dec 2024 18:05:09 GMT\r\n"
                           "Content-Length: 819200\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(whole.file && whole.offset == 0 && whole.length == kSize);
    EXPECT_EQ(m_state.status.recentLines.all().back().substr(10), "GET Star Run.po [0-819199]");

    EXPECT_EQ(get(kTarget, "\r\nRange: bytes=-0").bytes,
              "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */819200\r\n"
              "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(get("/Games/Missing.po").bytes,
              "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n"
              "Connection: keep-alive\r\n\r\nno such file\n");
    EXPECT_EQ(m_state.status.bytesServed, 512u + kSize) << "failed reads serve nothing";
}

// Each write in turn, and where its bytes must land (npos: nowhere).
TEST_F(DiskIOShareTest, WritesStayInsideTheImage) {
    constexpr auto refused = std::string::npos;
    struct Case {
        const char* contentRange;
        std::string_view body;
        const char* status;
        std::size_t at;
    };
    const std::vector<Case> cases{
        {"bytes 512-1023/819200", "AAAA", "200 OK", 512},
        {"bytes 512-1023/819200", "BB", "200 OK", 512}, // the body's length counts, not the end
        {"", "CC", "200 OK", 0},
        {"bytes=9-10/20", "EE", "200 OK", 0},
        {"Bytes 1024-1025/819200", "ee", "200 OK", 0}, // other units write at 0 too
        {"bytes 1024", "FF", "200 OK", 1024},
        {"bytes 819198-819199/819200", "GG", "200 OK", kSize - 2},
        {"bytes 819198-/819200", "HHH", "416 Range Not Satisfiable", refused},
        {"bytes x-1/2", "II", "400 Bad Request", refused},
        {"bytes /", "II", "400 Bad Request", refused},
        {"bytes //--/", "II", "400 Bad Request", refused},
        {"bytes 819200-/819200", "", "200 OK", kSize},
    };
    std::string expected = m_bytes;
    for (const auto& [contentRange, body, status, at] : cases) {
        EXPECT_EQ(put(kTarget, std::string(body), contentRange), "HTTP/1.1 " + std::string(status))
            << "Content-Range: " << contentRange;
        if (at != refused) {
            expected.replace(at, body.size(), body);
        }
    }
    EXPECT_TRUE(onDisk() == expected) << "some write landed elsewhere";
    EXPECT_EQ(m_state.status.recentLines.all().back().substr(10), "PUT Star Run.po @819200 +0");
    EXPECT_TRUE(m_state.status.lastWrite.find("Games/Star Run.po"));

    const std::size_t lines = m_state.status.recentLines.size();
    EXPECT_EQ(put("/Games/Missing.po", "JJ", ""), "HTTP/1.1 404 Not Found");
    m_state.writable = false;
    EXPECT_EQ(put(kTarget, "KK", ""), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(put("/Games/Missing.po", "KK", ""), "HTTP/1.1 403 Forbidden");
    EXPECT_TRUE(onDisk() == expected) << "refused writes change nothing";
    EXPECT_EQ(m_state.status.recentLines.size(), lines) << "refused writes are not logged";
}

// Only the images the catalog lists take writes: no text file, no image the scan passed
// over, no image too small to be listed. A path naming nothing stays a 404.
TEST_F(DiskIOShareTest, WritesGoOnlyToListedImages) {
    const std::vector<std::pair<std::string, std::string>> strays{
        {"notes.txt", "my notes"},
        {"Games/Old.dsk", std::string(143360, 'd')},
        {"Tiny.po", "tiny"}};
    for (const auto& [path, bytes] : strays) {
        m_dir.write("lib/" + path, bytes);
    }
    m_state.rescan();
    for (const auto& [path, bytes] : strays) {
        EXPECT_EQ(put("/" + path, "XX", ""), "HTTP/1.1 403 Forbidden") << path;
        EXPECT_TRUE(test::slurp(m_dir / ("lib/" + path)) == bytes) << path << " was written";
    }
    EXPECT_EQ(put("/Games/Missing.po", "XX", ""), "HTTP/1.1 404 Not Found");
}

// A write goes into the file the path names at that moment and is checked against its
// size at that moment, whatever an earlier write left open.
TEST_F(DiskIOShareTest, WritesFollowTheFileNowAtThePath) {
    ASSERT_EQ(put(kTarget, "AA", ""), "HTTP/1.1 200 OK");
    ASSERT_EQ(bodyOf(get(kTarget, "\r\nRange: bytes=0-1")), "AA"); // now open both ways
    const std::filesystem::path replaced = m_dir / "replaced.po";
    ASSERT_EQ(link(m_image.c_str(), replaced.c_str()), 0);
    const std::filesystem::path fresh = m_dir.write("fresh.po", std::string(kSize, 'n'));
    ASSERT_EQ(rename(fresh.c_str(), m_image.c_str()), 0);
    EXPECT_EQ(put(kTarget, "BB", "bytes 512-513/819200"), "HTTP/1.1 200 OK");
    EXPECT_EQ(onDisk().substr(510, 6), "nnBBnn") << "the write missed the image now in place";
    EXPECT_EQ(bodyOf(get(kTarget, "\r\nRange: bytes=510-515")), "nnBBnn")
        << "a read after the write served the replaced file";
    EXPECT_EQ(test::slurp(replaced).substr(512, 2), m_bytes.substr(512, 2))
        << "the write went into the replaced file";

    ASSERT_EQ(truncate(m_image.c_str(), 1024), 0);
    EXPECT_EQ(put(kTarget, "CC", "bytes 4096-4097/819200"), "HTTP/1.1 416 Range Not Satisfiable");
    EXPECT_EQ(put(kTarget, "DDD", "bytes 1022-1024/819200"), "HTTP/1.1 416 Range Not Satisfiable");
    EXPECT_EQ(put(kTarget, "EE", "bytes 1022-1023/819200"), "HTTP/1.1 200 OK");
    EXPECT_EQ(std::filesystem::file_size(m_image), 1024u) << "a write extended the image";
}

// A write the file system refuses, wholly or after a part of it, is answered 500 and
// logged as failed; the date the image is served with and its last write stay as they were.
TEST_F(DiskIOShareTest, FailedWritesAreToldAsFailed) {
    const timespec old[2] = {{1733249109, 0}, {1733249109, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_image.c_str(), old, 0), 0);
    const std::string date = "Last-Modified: Tue, 03 Dec 2024 18:05:09 GMT";
    ASSERT_NE(get(kTarget).bytes.find(date), std::string::npos);
    {
        const test::FileSizeLimit limit(4096);
        EXPECT_EQ(put(kTarget, std::string(512, 'a'), "bytes 8192-8703/819200"),
                  "HTTP/1.1 500 Internal Server Error");
        EXPECT_EQ(m_state.status.recentLines.all().back().substr(10),
                  "PUT Star Run.po @8192 +512 failed: File too large");
        EXPECT_EQ(put(kTarget, std::string(1024, 'b'), "bytes 3584-4607/819200"),
                  "HTTP/1.1 500 Internal Server Error")
            << "a write cut short was answered as whole";
        EXPECT_EQ(m_state.status.recentLines.all().back().substr(10),
                  "PUT Star Run.po @3584 +1024 failed: File too large");
    }
    EXPECT_FALSE(m_state.status.lastWrite.find("Games/Star Run.po")) << "a failed write counted";
    EXPECT_NE(get(kTarget).bytes.find(date), std::string::npos)
        << "a failed write changed the date the image is served with";
}

// On a full disk a write into a hole of a sparse image finds no block to take: it fails
// whole, before anything is written or kept as a version.
TEST(DiskIOFullDiskTest, WriteIntoAHoleFailsBeforeItsVersionIsKept) {
    test::TempDir dir;
    const std::filesystem::path lib = dir.mkdir("lib");
    if (mount("tmpfs", lib.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    }
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { umount2(lib.c_str(), MNT_DETACH); });
    const std::string start = test::pattern(8192);
    dir.write("lib/Hole.po", start);
    ASSERT_EQ(truncate((lib / "Hole.po").c_str(), off_t(kSize)), 0);
    std::ofstream(lib / "filler") << std::string(1 << 20, 'f'); // until the disk is full
    test::IdleConverters converters;
    ShareState state{converters.get()};
    state.rescan(lib);
    state.versions = std::make_unique<VersionKeeper>(VersionSettings{dir / "versions"});

    const Answer answer = DiskIO::putImage(
        state, Request::parse("PUT /Hole.po HTTP/1.1\r\nContent-Range: bytes 409600-410111/819200"),
        std::string(512, 'x'));
    EXPECT_TRUE(answer.bytes.starts_with("HTTP/1.1 500 ")) << answer.bytes;
    EXPECT_EQ(state.status.recentLines.all().back().substr(10),
              "PUT Hole.po @409600 +512 failed: No space left on device");
    EXPECT_TRUE(state.versions->versions(lib, "Hole.po").empty())
        << "a version was kept of a write that changed nothing";
    EXPECT_EQ(test::slurp(lib / "Hole.po"), start + std::string(kSize - start.size(), '\0'));
}

// Makes a file unwritable for this process. Root writes whatever the permission bits
// say (and access(2) agrees), so as root the file is made immutable, which stops root
// too; that needs a file system with attributes and the capability to set them.
class Unwritable {
public:
    explicit Unwritable(const std::filesystem::path& file) : m_file(file) {
        if (geteuid() != 0) {
            m_done = chmod(file.c_str(), 0444) == 0;
            return;
        }
        m_done = m_immutable = setImmutable(true);
    }
    ~Unwritable() {
        if (m_immutable) {
            setImmutable(false);
        }
    }
    explicit operator bool() const { return m_done; }

private:
    bool setImmutable(bool on) const {
        const int fd = open(m_file.c_str(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return done;
    }
    std::filesystem::path m_file;
    bool m_done = false;
    bool m_immutable = false;
};

TEST_F(DiskIOShareTest, UnwritableImageIsAnnouncedReadOnly) {
    const auto locked = m_dir.write("lib/Locked.po", std::string(kSize, 'l'));
    const Unwritable guard(locked);
    if (!guard) {
        GTEST_SKIP() << "cannot make a file unwritable here (root without file attributes)";
    }
    const int fd = open(locked.c_str(), O_RDWR | O_CLOEXEC);
    close(fd);
    ASSERT_LT(fd, 0) << "the file still takes writes: this test would prove nothing";
    m_state.rescan();
    const std::string page = m_state.catalog().pageJSON(1, "http://lan/", {});
    for (const auto& [url, readonly] :
         {std::pair{"Locked.po", "true"}, {"Games/Star%20Run.po", "false"}}) {
        EXPECT_NE(page.find(std::string("\"readonly\": ") + readonly +
                            ", \"source\": \"lan\", \"url\": \"http://lan/" + url + "\""),
                  std::string::npos)
            << url << " should be readonly " << readonly << " in\n"
            << page;
    }
    EXPECT_NE(get("/Locked.po").bytes.find("\r\nX-Vorn-Writable: 0\r\n"), std::string::npos);
    EXPECT_NE(get(kTarget).bytes.find("\r\nX-Vorn-Writable: 1\r\n"), std::string::npos);
    EXPECT_EQ(put("/Locked.po", "XX", ""), "HTTP/1.1 500 Internal Server Error");
}

// Only regular files are served: opening anything else (a named pipe) could stall the
// server's one thread for as long as nobody writes into it.
TEST_F(DiskIOShareTest, NamedPipeIsNoFile) {
    const auto fifo = m_dir / "lib/pipe.po";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const bool writable : {false, true}) {
        m_state.writable = writable;
        m_state.rescan();
        auto answer = std::async(std::launch::async, [&] { return get("/pipe.po"); });
        if (answer.wait_for(2s) != std::future_status::ready) {
            ADD_FAILURE() << "a read of a named pipe blocked (writable " << writable << ")";
            close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets the blocked open return
        }
        EXPECT_TRUE(answer.get().bytes.starts_with("HTTP/1.1 404 ")) << "writable " << writable;
    }
}

} // namespace
} // namespace vorn
