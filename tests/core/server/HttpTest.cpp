#include "server/Http.h"

#include "server/LanIP.h"

#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace vorn {
namespace {

using namespace std::chrono_literals;

Request request(const std::string& head) {
    return Request::parse(head);
}

TEST(HttpTest, AnswersAreLaidOutByteForByte) {
    const Request get = request("GET / HTTP/1.1");
    EXPECT_EQ(Http::answer(get, 200, "application/json", "{}"),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
              "Accept-Ranges: bytes\r\nConnection: keep-alive\r\n\r\n{}");
    EXPECT_EQ(Http::answer(get, 200, "text/html; charset=utf-8", "<p>"),
              "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 3\r\n"
              "Connection: keep-alive\r\n\r\n<p>");
    EXPECT_EQ(Http::answer(get, 404, "application/json", ""),
              "HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\nContent-Length: 0\r\n"
              "Connection: keep-alive\r\n\r\n")
        << "only a 200 JSON answer offers ranges";
    EXPECT_EQ(Http::answer(get, 200, "application/json; charset=utf-8", "").find("Accept-Ranges"),
              std::string::npos)
        << "the type must match exactly";
    EXPECT_EQ(Http::answer(request("HEAD /x HTTP/1.1"), 405, "text/plain", "no\n"),
              "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n"
              "Connection: keep-alive\r\n\r\n")
        << "HEAD keeps the length of the body it leaves out";
    EXPECT_EQ(Http::answer(request("get / HTTP/1.1"), 200, "text/plain", "x").back(), 'x')
        << "only the exact method HEAD leaves the body out";
    EXPECT_EQ(Http::answer(get, 418, "text/plain", ""),
              "HTTP/1.1 418 ?\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n"
              "Connection: keep-alive\r\n\r\n");
}

TEST(HttpTest, ConnectionLineFollowsTheRequest) {
    for (const char* value : {"Close", "close", "CLOSE", "  cLoSe  "}) {
        const Request r = request(std::string("GET / HTTP/1.1\r\nConnection: ") + value);
        EXPECT_TRUE(Http::wantsClose(r)) << value;
        EXPECT_EQ(Http::connectionHeader(r), "Connection: close\r\n") << value;
        EXPECT_NE(Http::answer(r, 404, "text/plain", "").find("\r\nConnection: close\r\n\r\n"),
                  std::string::npos)
            << value;
    }
    for (const char* head :
         {"GET / HTTP/1.0", "GET / HTTP/1.1\r\nConnection: keep-alive",
          "GET / HTTP/1.1\r\nConnection: closed", "GET / HTTP/1.1\r\nConnection: close, upgrade"}) {
        EXPECT_EQ(Http::connectionHeader(request(head)), "Connection: keep-alive\r\n") << head;
    }
}

TEST(HttpTest, LastModifiedIsAnEnglishGmtDate) {
    using namespace std::chrono;
    const Date date = sys_days{year{2024} / December / 3} + 18h + 5min + 9s + 999ms;
    EXPECT_EQ(Http::lastModifiedHeader(date), "Last-Modified: Tue, 03 Dec 2024 18:05:09 GMT\r\n");
    EXPECT_EQ(Http::lastModifiedHeader(sys_days{year{2000} / February / 29}),
              "Last-Modified: Tue, 29 Feb 2000 00:00:00 GMT\r\n");
    EXPECT_EQ(Http::lastModifiedHeader(Date{}), "Last-Modified: Thu, 01 Jan 1970 00:00:00 GMT\r\n");
}

TEST(HttpTest, ServedPathKeepsNamesInsideThePrefix) {
    const std::map<std::string, std::optional<std::string>> cases{
        {"/audio/x%2Fy.pcm", "x/y.pcm"},
        {"/audio//a//b/", "a/b"},
        {"/audio/Song%20One.pcm", "Song One.pcm"},
        {"/audio/.hidden", std::nullopt},
        {"/audio/a/../b", std::nullopt},
        {"/audio/a/%2E%2E/b", std::nullopt},
        {"/audio/a/.%2E/b", std::nullopt},
        {"/audio/", std::nullopt},
        {"/audio///", std::nullopt},
        {"/audio/%zz", std::nullopt},
        {"/audio/%FF", std::nullopt},
        {"/audio", std::nullopt},
        {"/pictures/a.shr", std::nullopt},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(Http::servedPath(path, "/audio/"), expected) << path;
    }
}

TEST(HttpTest, BaseUrlComesFromHostOrThePrimaryAddress) {
    EXPECT_EQ(Http::baseURL(request("GET / HTTP/1.1\r\nHost: 192.168.1.20:8271"), 9000),
              "http://192.168.1.20:8271/");
    EXPECT_EQ(Http::baseURL(request("GET / HTTP/1.1\r\nHost: vorn.local"), 9000),
              "http://vorn.local/")
        << "the Host header is taken as sent, even without a port";
    EXPECT_EQ(Http::baseURL(request("GET / HTTP/1.1"), 8271),
              "http://" + LanIP::primary() + ":8271/");
}

} // namespace
} // namespace vorn
