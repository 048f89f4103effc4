#include "server/Request.h"

#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <string>

namespace vorn {
namespace {

using Items = std::map<std::string, std::string>;

TEST(RequestTest, RequestLineGivesMethodPathAndQuery) {
    struct Case {
        const char* line;
        const char* method;
        const char* path;
        Items query;
    };
    const std::vector<Case> cases{
        // Later items replace earlier ones; an item without '=' has an empty value.
        {"GET /a%20b?x=1&x=2&&y HTTP/1.1", "GET", "/a b", {{"x", "2"}, {"y", ""}}},
        {"GET /?q=a%2Bb+c HTTP/1.1", "GET", "/", {{"q", "a+b+c"}}}, // '+' is no space
        // Runs of blanks separate words; keys stay as sent, items of only '=' are skipped
        // and bad escapes stay raw.
        {"GET   /search?%71=%41&=&==v=w&k=%zz   HTTP/1.0  extra",
         "GET",
         "/search",
         {{"%71", "A"}, {"v", "w"}, {"k", "%zz"}}},
        {"get /%zz%20?", "get", "/%zz%20", {}},             // the method keeps its case
        {"GET ??a=1", "GET", "a=1", {}},                    // leading '?' are dropped
        {"   GET   ", "", "", {}},                          // one word is no request line
        {"GET /%FF HTTP/1.1", "GET", "/%FF", {}},           // decoded bytes must be UTF-8
        {"GET /\xff HTTP/1.1", "GET", "/\xEF\xBF\xBD", {}}, // invalid UTF-8 is replaced
    };
    for (const auto& [line, method, path, query] : cases) {
        const Request r = Request::parse(line);
        EXPECT_EQ(r.method, method) << "'" << line << "'";
        EXPECT_EQ(r.path, path) << "'" << line << "'";
        EXPECT_EQ(r.query, query) << "'" << line << "'";
    }
}

TEST(RequestTest, HeaderLinesFollowTheirRules) {
    const Request r = Request::parse("GET / HTTP/1.1\r\nEmpty:\r\nX-A: \t v w \t \r\n"
                                     "Spaced : kept\r\nno colon here\r\n\r\n:Lead: x\r\n"
                                     "HOST: first\r\nhost: second\r\nBlank:   \r\nRange: a:b");
    const Items expected{{"x-a", "v w"},     {"spaced ", "kept"}, {"lead", "x"},
                         {"host", "second"}, {"blank", ""},       {"range", "a:b"}};
    EXPECT_EQ(r.headers, expected) << "names in lower case, values trimmed, the last one wins";
}

TEST(RequestTest, ContentLengthIsASignedNumberOrZero) {
    const auto length = [](const std::string& text) {
        return Request::parse("PUT /x HTTP/1.1\r\nContent-Length: " + text).contentLength();
    };
    EXPECT_EQ(length("10"), 10);
    EXPECT_EQ(length("+5"), 5);
    EXPECT_EQ(length("-7"), -7);
    EXPECT_EQ(length("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    for (const char* text : {"abc", "5x", "+-5", "--5", "1 0", "9223372036854775808"}) {
        EXPECT_EQ(length(text), 0) << "Content-Length: " << text;
    }
    EXPECT_EQ(Request::parse("PUT /x HTTP/1.1").contentLength(), 0) << "absent";
    EXPECT_EQ(parseUnsigned("+1"), std::nullopt);
    EXPECT_EQ(parseUnsigned("18446744073709551616"), std::nullopt);
}

} // namespace
} // namespace vorn
