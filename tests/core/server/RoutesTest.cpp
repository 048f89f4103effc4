#include "server/Routes.h"

#include "support/ProDosBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vorn {
namespace {

constexpr std::string_view kBase = "http://lan:8271/";

// Twenty images named "Game 01" to "Game 20" in Games, Zork in Other, Alpha in the root.
class RoutesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string image = test::ProDosBytes(2).bytes();
        for (int i = 1; i <= 20; ++i) {
            m_dir.write("lib/Games/Game_" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                            ".po",
                        image);
        }
        m_dir.write("lib/Other/Zork.po", image);
        m_dir.write("lib/Alpha.po", image);
        m_state.folder = m_dir / "lib";
        m_state.rescan();
        ASSERT_EQ(m_state.catalog.images().size(), 22u);
    }

    Answer send(const std::string& method, const std::string& target, std::string_view body = "") {
        ++m_sent;
        return Routes::handle(
            m_state, Request::parse(method + " " + target + " HTTP/1.1\r\nHost: lan:8271"), body);
    }
    // The body of a complete answer, after checking its status line and type.
    std::string body(const Answer& answer, const std::string& status,
                     const std::string& type = "application/json") {
        EXPECT_TRUE(
            answer.bytes.starts_with("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\n"))
            << answer.bytes.substr(0, 200);
        const auto at = answer.bytes.find("\r\n\r\n");
        return at == std::string::npos ? "" : answer.bytes.substr(at + 4);
    }
    std::string lastLine() const {
        const auto lines = m_state.status.recentLines.all();
        return lines.empty() ? "" : lines.back().substr(10); // without "HH:mm:ss  "
    }
    static std::vector<std::string> names(const nlohmann::json& doc) {
        std::vector<std::string> out;
        for (const auto& volume : doc.at("volumes")) {
            out.push_back(volume.at("name"));
        }
        return out;
    }

    test::TempDir m_dir;
    ShareState m_state;
    std::uint64_t m_sent = 0;
};

TEST_F(RoutesTest, RoutesAreTriedInOrder) {
    const std::string index = body(send("GET", "/"), "200 OK", "text/html; charset=utf-8");
    EXPECT_NE(index.find(kBase), std::string::npos);
    EXPECT_EQ(body(send("GET", "/index.html"), "200 OK", "text/html; charset=utf-8"), index);

    const std::string page1 = m_state.catalog.pageJSON(1, kBase, {});
    EXPECT_EQ(body(send("GET", "/vorn-volumes.json"), "200 OK"), page1);
    EXPECT_EQ(lastLine(), "catalog page 1");
    const std::vector<std::pair<std::string, std::string>> numbered{
        {"/vorn-volumes-0.json", "catalog page 0"},   {"/vorn-volumes--3.json", "catalog page -3"},
        {"/vorn-volumes-abc.json", "catalog page 1"}, {"/vorn-volumes-.json", "catalog page 1"},
        {"/vorn-volumes-+1.json", "catalog page 1"},
    };
    for (const auto& [path, line] : numbered) {
        EXPECT_EQ(body(send("GET", path), "200 OK"), page1) << path;
        EXPECT_EQ(lastLine(), line) << path;
    }
    EXPECT_EQ(body(send("GET", "/vorn-volumes-2.json"), "200 OK"),
              m_state.catalog.pageJSON(2, kBase, {}));
    const std::string far = body(send("GET", "/vorn-volumes-9223372036854775807.json"), "200 OK");
    EXPECT_TRUE(names(nlohmann::json::parse(far)).empty()) << "a page far beyond the last is empty";

    // The JSON routes answer GET only: HEAD asks for a file of that name.
    for (const char* path : {"/", "/index.html", "/vorn-volumes.json", "/search"}) {
        EXPECT_EQ(body(send("HEAD", path), "404 Not Found", "text/plain"), "") << path;
    }
    EXPECT_TRUE(send("GET", "/Games/Game_01.po").file) << "anything else is a file";
    EXPECT_TRUE(send("GET", "/vorn-volumes-1.jsonx").bytes.starts_with("HTTP/1.1 404 "));

    const std::string refusal = "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain\r\n"
                                "Content-Length: 3\r\nConnection: keep-alive\r\n\r\nno\n";
    for (const char* method : {"POST", "DELETE", "OPTIONS", "get"}) {
        EXPECT_EQ(send(method, "/vorn-volumes.json", "ignored").bytes, refusal) << method;
    }
    ++m_sent;
    EXPECT_EQ(Routes::handle(m_state, Request::parse("BREW"), "").bytes, refusal)
        << "a request line of one word has no method";
    EXPECT_EQ(m_state.status.requests, m_sent) << "every request counts, refused ones too";
}

TEST_F(RoutesTest, SearchPagesThroughMatches) {
    auto doc = nlohmann::json::parse(body(send("GET", "/search?q=game&p=2"), "200 OK"));
    EXPECT_EQ(doc.at("pages"), 2);
    EXPECT_EQ(doc.at("count"), 20);
    EXPECT_EQ(names(doc), (std::vector<std::string>{"Game 17", "Game 18", "Game 19", "Game 20"}));
    EXPECT_EQ(lastLine(), "search \"game\" p2");

    doc = nlohmann::json::parse(body(send("GET", "/search?q=GAME&p=3"), "200 OK"));
    EXPECT_EQ(doc.at("pages"), 2);
    EXPECT_EQ(doc.at("count"), 20);
    EXPECT_TRUE(names(doc).empty());

    doc = nlohmann::json::parse(body(send("GET", "/search?q=&cat=Other"), "200 OK"));
    EXPECT_EQ(names(doc), std::vector<std::string>{"Zork"});
    EXPECT_EQ(lastLine(), "search \"\" cat \"Other\" p1");

    const std::string everything = body(send("GET", "/search"), "200 OK");
    EXPECT_EQ(nlohmann::json::parse(everything).at("count"), 22);
    EXPECT_EQ(lastLine(), "search \"\" p1");
    EXPECT_EQ(body(send("GET", "/search?cat="), "200 OK"), everything) << "an empty cat is none";
    EXPECT_EQ(lastLine(), "search \"\" p1");
    EXPECT_EQ(body(send("GET", "/search?p=abc"), "200 OK"), everything);
    EXPECT_EQ(lastLine(), "search \"\" p1");
    EXPECT_EQ(body(send("GET", "/search?p=0&i=x"), "200 OK"), everything);
    EXPECT_EQ(lastLine(), "search \"\" p0") << "the log shows the page as asked";
    EXPECT_EQ(m_state.status.requests, m_sent);
}

TEST_F(RoutesTest, YourHubNamesTheKindAsked) {
    const std::vector<std::tuple<std::string, std::string, int>> cases{
        {"", "disks", 22}, {"?i=a", "audio", 0}, {"?i=p", "pictures", 0}, {"?i=x", "disks", 22}};
    for (const auto& [query, kind, total] : cases) {
        const auto doc =
            nlohmann::json::parse(body(send("GET", "/vorn-your-hub.json" + query), "200 OK"));
        EXPECT_EQ(lastLine(), "your hub (" + kind + ")") << query;
        EXPECT_EQ(doc.at("kind"), kind) << query;
        EXPECT_EQ(doc.at("total"), total) << query;
    }
    const auto disks = nlohmann::json::parse(body(send("GET", "/vorn-your-hub.json"), "200 OK"));
    ASSERT_EQ(disks.at("cats").size(), 2u);
    EXPECT_EQ(disks.at("cats")[0].at("cat"), "Games");
    EXPECT_EQ(disks.at("cats")[0].at("n"), 20);
    EXPECT_EQ(disks.at("cats")[1].at("n"), 1);

    m_state.hubOverride = HubConfig{{{"Other", "Adventures"}}, false};
    const auto chosen = nlohmann::json::parse(body(send("GET", "/vorn-your-hub.json"), "200 OK"));
    ASSERT_EQ(chosen.at("cats").size(), 1u) << chosen.dump();
    EXPECT_EQ(chosen.at("cats")[0].at("name"), "Adventures");
}

} // namespace
} // namespace vorn
