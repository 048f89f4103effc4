#include "server/DiskIO.h"

#include "support/TempDir.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vorn {
namespace {

using DiskIO::ByteRange;
using namespace std::chrono_literals;

constexpr std::uint64_t kSize = 819200;

std::optional<ByteRange> range(const char* header, std::uint64_t size = kSize) {
    const std::string value = header ? header : "";
    return DiskIO::chooseRange(header ? &value : nullptr, size);
}

TEST(DiskIOTest, ChooseRangeFollowsEveryRule) {
    constexpr std::uint64_t last = kSize - 1;
    const std::vector<std::pair<const char*, std::optional<ByteRange>>> cases{
        {nullptr, ByteRange{0, last, false}},
        {"bytes=0-511", ByteRange{0, 511, true}},
        {"bytes=1024-", ByteRange{1024, last, true}},
        {"bytes=-512", ByteRange{kSize - 512, last, true}},
        {"bytes=-0", std::nullopt},
        {"bytes=-", std::nullopt},
        {"bytes=x-5", ByteRange{0, 5, true}},
        {"bytes=5-x", ByteRange{5, last, true}},
        {"bytes=5", ByteRange{5, last, true}},
        {"bytes=9-3", std::nullopt},
        {"bytes=819200-", std::nullopt},
        {"bytes=819200-819300", std::nullopt},
        {"bytes=819199-", ByteRange{last, last, true}},
        {"bytes=0-1,4-5", ByteRange{0, 1, true}},
        {"bytes=,,4-5,0-1", ByteRange{4, 5, true}},
        {"items=0-1", ByteRange{0, last, false}},
        {"Bytes=0-1", ByteRange{0, last, false}},
        {"bytes=0-99999999999999999999999", ByteRange{0, last, true}},
        {"bytes=0-18446744073709551615", ByteRange{0, last, true}},
        {"bytes=-99999999", ByteRange{0, last, true}},
        {"bytes=", ByteRange{0, last, false}},
        {"bytes=,,", ByteRange{0, last, false}},
    };
    for (const auto& [header, expected] : cases) {
        EXPECT_EQ(range(header), expected) << (header ? header : "no Range header");
    }
    // An empty file has no byte to offer a range of, except as a whole.
    EXPECT_EQ(range(nullptr, 0), (ByteRange{0, 0, false}));
    EXPECT_EQ(range("bytes=", 0), (ByteRange{0, 0, false}));
    for (const char* header : {"bytes=0-", "bytes=0-0", "bytes=-5", "bytes=-0"}) {
        EXPECT_EQ(range(header, 0), std::nullopt) << header << " of an empty file";
    }
    EXPECT_EQ(range("bytes=-5", 1), (ByteRange{0, 0, true}));
}

TEST(DiskIOTest, HeadsAreLaidOutByteForByte) {
    using namespace std::chrono;
    const Date date = sys_days{year{2024} / December / 3} + 18h + 5min + 9s;
    EXPECT_EQ(
        DiskIO::fileHead(Request::parse("GET /a.po HTTP/1.1"), {0, 511, true}, kSize, true, date),
        "HTTP/1.1 206 Partial Content\r\nContent-Type: application/octet-stream\r\n"
        "Accept-Ranges: bytes\r\nX-Vorn-Writable: 1\r\nX-Vorn-Poll: 5\r\n"
        "Content-Range: bytes 0-511/819200\r\n"
        "Last-Modified: Tue, 03 Dec 2024 18:05:09 GMT\r\nContent-Length: 512\r\n"
        "Connection: keep-alive\r\n\r\n");
    EXPECT_EQ(DiskIO::fileHead(Request::parse("GET /a.po HTTP/1.1\r\nConnection: close"),
                               {0, 2, false}, 3, false, std::nullopt),
              "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
              "Accept-Ranges: bytes\r\nX-Vorn-Writable: 0\r\nX-Vorn-Poll: 5\r\n"
              "Content-Length: 3\r\nConnection: close\r\n\r\n");
    EXPECT_NE(DiskIO::fileHead(Request::parse("GET /e.po"), {0, 0, false}, 0, true, std::nullopt)
                  .find("\r\nContent-Length: 0\r\n"),
              std::string::npos)
        << "an empty file is a complete answer of no bytes";
    EXPECT_EQ(DiskIO::unsatisfiable(kSize), "HTTP/1.1 416 Range Not Satisfiable\r\n"
                                            "Content-Range: bytes */819200\r\n"
                                            "Content-Length: 0\r\n\r\n");
}

TEST(DiskIOTest, WriteOffsetReadsOnlyTheStartOfABytesRange) {
    const std::vector<std::pair<const char*, std::optional<std::uint64_t>>> cases{
        {nullptr, 0},
        {"bytes 512-1023/819200", 512},
        {"bytes 0-0/1", 0},
        {"bytes 1024", 1024},
        {"items 5-6/7", 0},
        {"bytes=512-1023/819200", 0},
        {"Bytes 512-1023/819200", 0},
        {"bytes x-1/2", std::nullopt},
        {"bytes ", std::nullopt},
        {"bytes //--/", std::nullopt},
        {"bytes 99999999999999999999-1/2", std::nullopt},
    };
    for (const auto& [header, expected] : cases) {
        const std::string value = header ? header : "";
        EXPECT_EQ(DiskIO::writeOffset(header ? &value : nullptr), expected)
            << (header ? header : "no Content-Range");
    }
}

// A library with one 800 KB image whose bytes all differ from their neighbours.
class DiskIOShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::uint64_t i = 0; i < kSize; ++i) {
            m_bytes.push_back(char((i * 7 + i / 256) & 0xFF));
        }
        m_image = m_dir.write("lib/Games/Star Run.po", m_bytes);
        m_state.folder = m_dir / "lib";
        m_state.rescan();
    }
    Answer get(const std::string& target, const std::string& headers = "",
               const std::string& method = "GET") {
        return DiskIO::serveImage(m_state,
                                  Request::parse(method + " " + target + " HTTP/1.1" + headers));
    }
    // Write answers have no body: their bytes are the whole answer.
    std::string put(const std::string& target, const std::string& body,
                    const std::string& headers) {
        const Answer answer = DiskIO::putImage(
            m_state, Request::parse("PUT " + target + " HTTP/1.1" + headers), body);
        EXPECT_FALSE(answer.file);
        return answer.bytes;
    }
    std::string onDisk() const {
        std::ifstream in(m_image, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string fromFile(const Answer& answer) {
        std::string out(answer.length, '\0');
        const ssize_t n =
            pread(answer.file->fd->get(), out.data(), out.size(), off_t(answer.offset));
        out.resize(std::size_t(std::max<ssize_t>(n, 0)));
        return out;
    }

    test::TempDir m_dir;
    std::filesystem::path m_image;
    std::string m_bytes;
    ShareState m_state;
};

constexpr const char* kTarget = "/Games/Star%20Run.po";

TEST_F(DiskIOShareTest, ReadsAnswerRangesAndRecordWhatWasServed) {
    using namespace std::chrono;
    const timespec times[2] = {{1733249109, 0}, {1733249109, 0}}; // 2024-12-03 18:05:09 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, m_image.c_str(), times, 0), 0);

    const Answer block = get(kTarget, "\r\nRange: bytes=512-1023");
    EXPECT_TRUE(block.bytes.starts_with("HTTP/1.1 206 Partial Content\r\n")) << block.bytes;
    EXPECT_NE(block.bytes.find("\r\nContent-Range: bytes 512-1023/819200\r\n"
                               "Last-Modified: Tue, 03 Dec 2024 18:05:09 GMT\r\n"),
              std::string::npos)
        << block.bytes;
    ASSERT_TRUE(block.file);
    EXPECT_EQ(fromFile(block), m_bytes.substr(512, 512));
    EXPECT_EQ(m_state.status.bytesServed, 512u);
    EXPECT_TRUE(m_state.status.lastRead.find("Games/Star Run.po")) << "reads are recorded";
    EXPECT_TRUE(m_state.status.recentLines.empty()) << "block reads stay out of the log";

    const auto readAt = m_state.status.lastRead.find("Games/Star Run.po");
    std::this_thread::sleep_for(2ms);
    const Answer head = get(kTarget, "\r\nRange: bytes=512-1023", "HEAD");
    EXPECT_EQ(head.bytes, block.bytes) << "HEAD answers the head GET would";
    EXPECT_FALSE(head.file);
    EXPECT_EQ(m_state.status.bytesServed, 512u) << "HEAD serves no bytes";
    EXPECT_EQ(m_state.status.lastRead.find("Games/Star Run.po"), readAt) << "HEAD reads nothing";

    const Answer whole = get(kTarget);
    ASSERT_TRUE(whole.file);
    EXPECT_EQ(whole.length, kSize);
    EXPECT_EQ(fromFile(whole), m_bytes);
    EXPECT_EQ(m_state.status.bytesServed, 512u + kSize);
    EXPECT_EQ(m_state.status.recentLines.all().back().substr(10), "GET Star Run.po [0-819199]");

    EXPECT_EQ(get(kTarget, "\r\nRange: bytes=-0").bytes, DiskIO::unsatisfiable(kSize));
    EXPECT_EQ(get("/Games/Missing.po").bytes,
              "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n"
              "Connection: keep-alive\r\n\r\nno such file\n");
    EXPECT_EQ(m_state.status.bytesServed, 512u + kSize) << "failed reads serve nothing";
}

TEST_F(DiskIOShareTest, WritesStayInsideTheImage) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n"
                           "Connection: keep-alive\r\n\r\n";
    std::string expected = m_bytes;
    EXPECT_EQ(put(kTarget, std::string(512, 'A'), "\r\nContent-Range: bytes 512-1023/819200"), ok);
    expected.replace(512, 512, std::string(512, 'A'));
    EXPECT_EQ(put(kTarget, std::string(100, 'B'), "\r\nContent-Range: bytes 512-1023/819200"), ok)
        << "the body's length counts, not the range's end";
    expected.replace(512, 100, std::string(100, 'B'));
    EXPECT_EQ(put(kTarget, "CC", ""), ok) << "no Content-Range writes at 0";
    EXPECT_EQ(put(kTarget, "DD", "\r\nContent-Range: items 9-10/20"), ok) << "other units too";
    expected.replace(0, 2, "DD");
    EXPECT_EQ(put(kTarget, "EE", "\r\nContent-Range: bytes 819198-819199/819200"), ok);
    expected.replace(kSize - 2, 2, "EE");
    EXPECT_EQ(put(kTarget, "", "\r\nContent-Range: bytes 819200-/819200"), ok);
    EXPECT_EQ(onDisk(), expected);
    EXPECT_EQ(m_state.status.recentLines.all().back().substr(10), "PUT Star Run.po @819200 +0");
    EXPECT_TRUE(m_state.status.lastWrite.find("Games/Star Run.po"));

    const auto status = [](const std::string& a) { return a.substr(0, a.find("\r\n")); };
    const std::size_t lines = m_state.status.recentLines.size();
    EXPECT_EQ(status(put(kTarget, "FFF", "\r\nContent-Range: bytes 819198-/819200")),
              "HTTP/1.1 416 Range Not Satisfiable");
    EXPECT_EQ(status(put(kTarget, "GG", "\r\nContent-Range: bytes x-1/2")),
              "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(status(put("/Games/Missing.po", "HH", "")), "HTTP/1.1 404 Not Found");
    m_state.writable = false;
    EXPECT_EQ(status(put(kTarget, "II", "")), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(status(put("/Games/Missing.po", "II", "")), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(onDisk(), expected) << "refused writes change nothing";
    EXPECT_EQ(m_state.status.recentLines.size(), lines) << "refused writes are not logged";
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
