#include "server/RequestFramer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vorn {
namespace {

using Step = RequestFramer::Step;

// What a framer makes of `pieces` fed one after the other, as a line per step: the head's
// method, path and body length, the body (or "skipped"), the error's status, or "more"
// when the bytes run out. Bodies of PUTs are held and all others skipped, as the share does.
std::string frame(const std::vector<std::string_view>& pieces, std::size_t headLimit = 4096) {
    RequestFramer framer(headLimit);
    std::string trace;
    std::size_t next = 0;
    for (int steps = 0; steps < 10000; ++steps) {
        switch (framer.next()) {
        case Step::needMore:
            if (next == pieces.size()) {
                return trace + "more";
            }
            framer.append(pieces[next++]);
            break;
        case Step::head:
            trace += "head " + framer.request().method + " " + framer.request().path + " " +
                     std::to_string(framer.bodyLength()) + "\n";
            framer.request().method == "PUT" ? framer.holdBody() : framer.skipBody();
            break;
        case Step::body:
            trace += framer.request().method == "PUT" ? "body " + std::string(framer.body()) + "\n"
                                                      : "skipped\n";
            framer.done();
            break;
        case Step::error:
            return trace + "error " + std::to_string(framer.errorStatus());
        }
    }
    return trace + "(no end)";
}

// Three requests sent at once, the second a write: each is taken whole, in order, whatever
// the packets the bytes come in.
TEST(RequestFramerTest, RequestsAreTheSameWhereverTheBytesAreSplit) {
    const std::string wire =
        "GET /a HTTP/1.1\r\nHost: x\r\n\r\n"
        "PUT /Disk.po HTTP/1.1\r\ncontent-length: 5\r\nContent-Length: 5\r\n\r\n"
        "hello\r\n" // a stray line end after a body is passed over
        "GET /b HTTP/1.1\r\nContent-Length: 3\r\n\r\nxyz"
        "GET /c HTT";
    const std::string expected = "head GET /a 0\nskipped\nhead PUT /Disk.po 5\nbody hello\n"
                                 "head GET /b 3\nskipped\nmore";
    ASSERT_EQ(frame({wire}), expected);
    for (std::size_t split = 0; split <= wire.size(); ++split) {
        const std::string_view bytes = wire;
        ASSERT_EQ(frame({bytes.substr(0, split), bytes.substr(split)}), expected)
            << "split after byte " << split;
    }
    std::vector<std::string_view> bytewise;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        bytewise.push_back(std::string_view(wire).substr(i, 1));
    }
    EXPECT_EQ(frame(bytewise), expected) << "one byte at a time";
}

// A head whose body cannot be told exactly is refused, not guessed at: a body written
// short, or its rest taken for a request, is a write told "saved" for bytes dropped.
TEST(RequestFramerTest, HeadsThatFrameNoBodyExactlyAreRefused) {
    const std::vector<std::pair<std::string, int>> cases{
        {"Content-Length: abc", 400},
        {"Content-Length: 5 12", 400},
        {"Content-Length: 512, 512", 400},
        {"Content-Length: 0x200", 400},
        {"Content-Length: 512.0", 400},
        {"Content-Length: -512", 400},
        {"Content-Length: +512", 400},
        {"Content-Length:", 400},
        {"Content-Length: 9223372036854775808", 400},
        {"Content-Length: 512\r\nContent-Length: 513", 400},
        {"Transfer-Encoding : chunked\r\nContent-Length: 512", 400},
        {"Content-Length : 512", 400},
        {"Host: x\r\n folded", 400},
        {"no colon", 400},
        {"Transfer-Encoding: chunked", 411},
        {"Host: x", 411}, // a PUT without a length
    };
    for (const auto& [fields, status] : cases) {
        EXPECT_EQ(frame({"PUT /Disk.po HTTP/1.1\r\n" + fields + "\r\n\r\n"}),
                  "error " + std::to_string(status))
            << fields;
    }
    for (const char* head : {"GET / HTTP/1.1\nHost: x\n\n", "GET / HTTP/1.1\r\nHost: x\n\r\n",
                             "GET / HTTP/1.1\n\n", "GET /\r\n\r\n", "GET / HTTP/2.0\r\n\r\n",
                             "GET / HTTP/1.1 x\r\n\r\n", "\x16\x03\x01\x02\x01\r\n\r\n"}) {
        EXPECT_EQ(frame({head}), "error 400") << "a head that cannot be read is answered: " << head;
    }
    EXPECT_EQ(frame({"GET / HTTP/1.1\r\n\r\na body without a length\r\n\r\n"}),
              "head GET / 0\nskipped\nerror 400")
        << "bytes after a request without a length are the next head, and none is here";
    EXPECT_EQ(frame({"PUT /x HTTP/1.1\r\nContent-Length:  0 \r\n\r\n"}),
              "head PUT /x 0\nbody \nmore");
    EXPECT_EQ(frame({std::string(16, 'a')}, 16), "more") << "a head may reach its limit";
    EXPECT_EQ(frame({std::string(17, 'a')}, 16), "error 0") << "one byte more ends it unanswered";
}

} // namespace
} // namespace vorn
