#include "server/Http.h"

#include <gtest/gtest.h>
#include <optional>

namespace vorn {
namespace {

TEST(HttpTest, AnswersAreLaidOutByteForByte) {
    const Request get = Request::parse("GET / HTTP/1.1");
    EXPECT_EQ(Http::answer(get, 200, "application/json", "{}"),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
              "Accept-Ranges: bytes\r\nConnection: keep-alive\r\n\r\n{}");
    EXPECT_EQ(Http::answer(Request::parse("HEAD /x HTTP/1.1"), 405, "text/plain", "no\n"),
              "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n"
              "Connection: keep-alive\r\n\r\n")
        << "HEAD keeps the length of the body it leaves out";
    // Only a 200 answer of exactly the JSON type offers ranges.
    for (const auto& [code, type] :
         {std::pair{404, "application/json"}, {200, "application/json; charset=utf-8"}}) {
        EXPECT_EQ(Http::answer(get, code, type, "").find("Accept-Ranges"), std::string::npos)
            << code << " " << type;
    }
    EXPECT_EQ(Http::answer(Request::parse("get / HTTP/1.1"), 200, "text/plain", "x").back(), 'x')
        << "only the exact method HEAD leaves the body out";
    EXPECT_TRUE(Http::answer(get, 418, "text/plain", "").starts_with("HTTP/1.1 418 ?\r\n"));
}

TEST(HttpTest, ConnectionLineFollowsTheRequest) {
    for (const char* head :
         {"GET / HTTP/1.1\r\nConnection: Close", "GET / HTTP/1.1\r\nConnection: CLOSE",
          "GET / HTTP/1.1\r\nConnection:   cLoSe  ", "GET / HTTP/1.0"}) {
        const Request r = Request::parse(head);
        EXPECT_NE(Http::answer(r, 404, "text/plain", "").find("\r\nConnection: close\r\n\r\n"),
                  std::string::npos)
            << head;
    }
    for (const char* head :
         {"GET / HTTP/1.0\r\nConnection: Keep-Alive", "GET / HTTP/1.1\r\nConnection: keep-alive",
          "GET / HTTP/1.1\r\nConnection: closed", "GET / HTTP/1.1\r\nConnection: close, upgrade"}) {
        EXPECT_EQ(Http::connectionHeader(Request::parse(head)), "Connection: keep-alive\r\n")
            << head;
    }
}

TEST(HttpTest, ServedPathKeepsNamesInsideThePrefix) {
    EXPECT_EQ(Http::servedPath("/audio/x%2Fy.pcm", "/audio/"), "x/y.pcm");
    EXPECT_EQ(Http::servedPath("/audio//a//b/", "/audio/"), "a/b");
    for (const char* path : {"/audio/.hidden", "/audio/a/../b", "/audio/a/%2E%2E/b", "/audio/",
                             "/audio///", "/audio/%zz", "/audio"}) {
        EXPECT_EQ(Http::servedPath(path, "/audio/"), std::nullopt) << path;
    }
}

} // namespace
} // namespace vorn
