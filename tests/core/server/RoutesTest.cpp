#include "server/Routes.h"

#include "support/ProDosBytes.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

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
            m_dir.write("lib/Games/Game_" + std::to_string(100 + i).substr(1) + ".po", image);
        }
        m_dir.write("lib/Other/Zork.po", image);
        m_dir.write("lib/Alpha.po", image);
        m_state.rescan(m_dir / "lib");
        ASSERT_EQ(m_state.catalog().images().size(), 22u);
    }

    Answer send(const std::string& method, const std::string& target, std::string_view body = "") {
        ++m_sent;
        return Routes::handle(
            m_state, Request::parse(method + " " + target + " HTTP/1.1\r\nHost: lan:8271"), body);
    }
    // The body of a GET answer, after checking its status line and type.
    std::string body(const std::string& target, const std::string& status = "200 OK",
                     const std::string& type = "application/json") {
        const Answer answer = send("GET", target);
        EXPECT_TRUE(
            answer.bytes.starts_with("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\n"))
            << target << ": " << answer.bytes.substr(0, 200);
        const auto at = answer.bytes.find("\r\n\r\n");
        return at == std::string::npos ? "" : answer.bytes.substr(at + 4);
    }
    nlohmann::json json(const std::string& target) { return nlohmann::json::parse(body(target)); }
    std::string lastLine() const {
        const auto lines = m_state.status.recentLines.all();
        return lines.empty() ? "" : lines.back().substr(10); // without "HH:mm:ss  "
    }

    test::TempDir m_dir;
    test::IdleConverters m_converters;
    ShareState m_state{m_converters.get()};
    std::uint64_t m_sent = 0;
};

TEST_F(RoutesTest, RoutesAreTriedInOrder) {
    const std::string index = body("/", "200 OK", "text/html; charset=utf-8");
    EXPECT_NE(index.find(kBase), std::string::npos);
    EXPECT_EQ(body("/index.html", "200 OK", "text/html; charset=utf-8"), index);

    const std::string page1 = m_state.catalog().pageJSON(1, kBase, {});
    const std::vector<std::pair<std::string, std::string>> pages{
        {"/vorn-volumes.json", "catalog page 1"},     {"/vorn-volumes-0.json", "catalog page 0"},
        {"/vorn-volumes--3.json", "catalog page -3"}, {"/vorn-volumes-abc.json", "catalog page 1"},
        {"/vorn-volumes-.json", "catalog page 1"},
    };
    for (const auto& [path, line] : pages) {
        EXPECT_EQ(body(path), page1) << path;
        EXPECT_EQ(lastLine(), line) << path;
    }
    EXPECT_EQ(body("/vorn-volumes-2.json"), m_state.catalog().pageJSON(2, kBase, {}));

    // The JSON routes answer GET only: HEAD asks for a file of that name.
    for (const char* path : {"/", "/index.html", "/vorn-volumes.json", "/search"}) {
        EXPECT_TRUE(send("HEAD", path).bytes.starts_with("HTTP/1.1 404 ")) << path;
    }
    EXPECT_TRUE(send("GET", "/Games/Game_01.po").file) << "anything else is a file";
    EXPECT_TRUE(send("GET", "/vorn-volumes-1.jsonx").bytes.starts_with("HTTP/1.1 404 "));

    const std::string refusal = "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain\r\n"
                                "Content-Length: 3\r\nConnection: keep-alive\r\n\r\nno\n";
    for (const char* method : {"POST", "DELETE", "get"}) {
        EXPECT_EQ(send(method, "/vorn-volumes.json", "ignored").bytes, refusal) << method;
    }
    ++m_sent;
    EXPECT_EQ(Routes::handle(m_state, Request::parse("BREW"), "").bytes, refusal)
        << "a request line of one word has no method";
    EXPECT_EQ(m_state.status.requests, m_sent) << "every request counts, refused ones too";
}

TEST_F(RoutesTest, SearchPagesThroughMatches) {
    const std::string everything = body("/search");
    EXPECT_EQ(nlohmann::json::parse(everything).at("count"), 22);
    const std::vector<std::pair<std::string, std::string>> asked{
        {"/search", "search \"\" p1"},
        {"/search?cat=", "search \"\" p1"}, // an empty cat is none
        {"/search?p=abc", "search \"\" p1"},
        {"/search?p=0&i=x", "search \"\" p0"}, // the log shows the page as asked
    };
    for (const auto& [target, line] : asked) {
        EXPECT_EQ(body(target), everything) << target;
        EXPECT_EQ(lastLine(), line) << target;
    }
    const auto games = json("/search?q=GAME&p=2");
    EXPECT_EQ(lastLine(), "search \"GAME\" p2");
    EXPECT_EQ(games.at("count"), 20);
    EXPECT_EQ(games.at("volumes").at(0).at("name"), "Game 17") << "16 to a page";
    EXPECT_EQ(json("/search?q=&cat=Other").at("volumes").at(0).at("name"), "Zork");
    EXPECT_EQ(lastLine(), "search \"\" cat \"Other\" p1");
}

TEST_F(RoutesTest, YourHubNamesTheKindAsked) {
    const std::vector<std::tuple<std::string, std::string, int>> cases{
        {"", "disks", 22}, {"?i=a", "audio", 0}, {"?i=p", "pictures", 0}, {"?i=x", "disks", 22}};
    for (const auto& [query, kind, total] : cases) {
        const auto doc = json("/vorn-your-hub.json" + query);
        EXPECT_EQ(lastLine(), "your hub (" + kind + ")") << query;
        EXPECT_EQ(doc.at("kind"), kind) << query;
        EXPECT_EQ(doc.at("total"), total) << query;
    }
    EXPECT_EQ(json("/vorn-your-hub.json").at("cats").size(), 2u) << "the defaults: Games, Other";
    m_state.hubOverride = HubConfig{{{"Other", "Adventures"}}, false};
    const auto chosen = json("/vorn-your-hub.json");
    ASSERT_EQ(chosen.at("cats").size(), 1u) << chosen.dump();
    EXPECT_EQ(chosen.at("cats")[0].at("name"), "Adventures");
}

} // namespace
} // namespace vorn
