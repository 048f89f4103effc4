#include "server/Request.h"

#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <string>

namespace vorn {
namespace {

using Items = std::map<std::string, std::string>;

// The connection searches only the bytes it has not searched yet (minus three, so that a
// CR LF CR LF split across two reads is still seen): the head must be found exactly when
// its last byte arrives, wherever the bytes were split.
TEST(RequestTest, HeadEndIsFoundOnceItsLastByteArrives) {
    const std::string head = "PUT /Games/Star%20Run.po HTTP/1.1\r\nHost: lan:8271\r\n"
                             "Content-Range: bytes 512-1023/819200\r\nContent-Length: 3";
    const std::string wire = head + "\r\n\r\nabc";
    const std::size_t end = head.size();
    for (std::size_t split = 0; split <= wire.size(); ++split) {
        const std::string first = wire.substr(0, split);
        if (split >= end + 4) {
            EXPECT_EQ(findHeadEnd(first), end) << "split " << split;
            continue;
        }
        EXPECT_FALSE(findHeadEnd(first))
            << "found before the blank line was complete, split " << split;
        const std::size_t from = split >= 3 ? split - 3 : 0;
        EXPECT_EQ(findHeadEnd(wire, from), end) << "search resumed after split " << split;
    }
    const Request request = Request::parse(std::string_view(wire).substr(0, end));
    EXPECT_EQ(request.method, "PUT");
    EXPECT_EQ(request.path, "/Games/Star Run.po");
    EXPECT_EQ(request.contentLength(), 3);
    EXPECT_EQ(request.headers, (Items{{"host", "lan:8271"},
                                      {"content-range", "bytes 512-1023/819200"},
                                      {"content-length", "3"}}));
    EXPECT_FALSE(findHeadEnd("GET / HTTP/1.1\r\n\n\r\n"));
}

TEST(RequestTest, RequestLineGivesMethodPathAndQuery) {
    Request r = Request::parse("GET /a%20b?x=1&x=2&&y HTTP/1.1");
    EXPECT_EQ(r.path, "/a b");
    EXPECT_EQ(r.query, (Items{{"x", "2"}, {"y", ""}})) << "later items replace earlier ones";

    r = Request::parse("GET /?q=a%2Bb+c HTTP/1.1");
    EXPECT_EQ(r.path, "/");
    EXPECT_EQ(r.query, (Items{{"q", "a+b+c"}})) << "a plus sign is not a space";

    r = Request::parse("GET   /search?%71=%41&=&==v=w&k=%zz   HTTP/1.0  extra");
    EXPECT_EQ(r.method, "GET") << "runs of blanks separate words";
    EXPECT_EQ(r.path, "/search");
    EXPECT_EQ(r.query, (Items{{"%71", "A"}, {"v", "w"}, {"k", "%zz"}}))
        << "keys stay as sent, items of only '=' are skipped, bad escapes stay raw";

    r = Request::parse("get /%zz%20?");
    EXPECT_EQ(r.method, "get") << "the method keeps its case";
    EXPECT_EQ(r.path, "/%zz%20") << "a path that does not decode stays as sent";
    EXPECT_TRUE(r.query.empty());

    r = Request::parse("GET ? HTTP/1.1");
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "");
    EXPECT_TRUE(r.query.empty());
    EXPECT_EQ(Request::parse("GET ??a=1").path, "a=1") << "leading '?' are dropped";

    for (const char* line : {"", "GET", "   GET   ", "\xff\xfe"}) {
        r = Request::parse(line);
        EXPECT_EQ(r.method, "") << "'" << line << "'";
        EXPECT_EQ(r.path, "") << "'" << line << "'";
    }
    EXPECT_EQ(Request::parse("GET /caf%C3%A9 HTTP/1.1").path, "/caf\xC3\xA9");
    EXPECT_EQ(Request::parse("GET /%FF HTTP/1.1").path, "/%FF") << "decoded bytes must be UTF-8";
    EXPECT_EQ(Request::parse("GET /\xff HTTP/1.1").path, "/\xEF\xBF\xBD")
        << "invalid UTF-8 in the head is replaced, not rejected";
}

TEST(RequestTest, HeaderLinesFollowTheirRules) {
    const Request r = Request::parse("GET / HTTP/1.1\r\n"
                                     "Empty:\r\n"
                                     "X-A: \t v w \t \r\n"
                                     "Spaced : kept\r\n"
                                     "no colon here\r\n"
                                     "\r\n"
                                     ":Lead: x\r\n"
                                     "HOST: first\r\n"
                                     "host: second\r\n"
                                     "Blank:   \r\n"
                                     "Range: a:b");
    EXPECT_EQ(r.headers, (Items{{"x-a", "v w"},
                                {"spaced ", "kept"},
                                {"lead", "x"},
                                {"host", "second"},
                                {"blank", ""},
                                {"range", "a:b"}}));
    EXPECT_EQ(r.header("empty"), nullptr) << "a name with nothing after the colon is ignored";
    ASSERT_NE(r.header("host"), nullptr);
    EXPECT_EQ(*r.header("host"), "second");
}

TEST(RequestTest, ContentLengthIsASignedNumberOrZero) {
    const std::map<std::string, std::int64_t> cases{
        {"10", 10},
        {"+5", 5},
        {"-7", -7},
        {"0", 0},
        {"abc", 0},
        {"5x", 0},
        {"0x10", 0},
        {"+", 0},
        {"+-5", 0},
        {"--5", 0},
        {"1 0", 0},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"9223372036854775808", 0},
        {"-9223372036854775809", 0},
        {"99999999999999999999999", 0},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Request::parse("PUT /x HTTP/1.1\r\nContent-Length: " + text).contentLength(),
                  expected)
            << "Content-Length: " << text;
    }
    EXPECT_EQ(Request::parse("PUT /x HTTP/1.1").contentLength(), 0) << "absent";
    EXPECT_EQ(parseUnsigned("18446744073709551615"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(parseUnsigned("18446744073709551616"), std::nullopt);
    EXPECT_EQ(parseUnsigned("+1"), std::nullopt);
    EXPECT_EQ(parseUnsigned(""), std::nullopt);
}

} // namespace
} // namespace vorn
