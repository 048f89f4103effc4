#include "server/IndexPage.h"

#include "support/ProDosBytes.h"
#include "support/TempDir.h"
#include "support/TestConverters.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using test::ProDosBytes;

constexpr std::string_view kBase = "http://192.168.1.20:8271/";

std::size_t count(const std::string& text, std::string_view piece) {
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++n;
    }
    return n;
}

class IndexPageTest : public ::testing::Test {
protected:
    ShareState share(bool writable = true) {
        ShareState state(m_converters.get());
        state.writable = writable;
        state.rescan(m_dir.mkdir("lib"));
        return state;
    }
    /// Serves a copy of the scan changed by `change`, as a later scan would have found it.
    template <class F> static void rescanned(ShareState& state, F change) {
        auto scan = std::make_shared<LibraryScan>(*state.scan);
        change(*scan);
        state.scan = std::move(scan);
    }

    test::TempDir m_dir;
    test::IdleConverters m_converters;
};

TEST_F(IndexPageTest, PageIsLaidOutPieceByPiece) {
    m_dir.write("lib/Alpha.po",
                ProDosBytes(280).volume("ALPHA").entry(2, 1, 1, "PRODOS", 0xFF).bytes());
    m_dir.write("lib/Games/Star Run.po", ProDosBytes(1600).volume("STAR.RUN").bytes());
    const std::string page = indexHTML(share(), kBase);
    const std::string head =
        "<!doctype html><meta charset=utf-8><title>Vorn Image Manager</title>\n"
        "<body style=\"font-family: ui-monospace, monospace; background:#111; color:#3fda66; "
        "padding:2em\">\n<h1>] Vorn IMAGE MANAGER</h1>\n"
        "<p>Image Source URL for the card: <code style=\"color:#fff\">";
    EXPECT_EQ(page,
              head + std::string(kBase) +
                  "</code></p>\n"
                  "<p>Apple II categories: <a style=\"color:#3fda66\" href=\"/vorn-your-hub.json\">"
                  "/vorn-your-hub.json</a>\n(1, what the card lists under Your source)</p>\n"
                  "<ul><li><a href=\"/search?cat=Games\">Games</a> (1)</li></ul>"
                  "\n<p>Catalog: <a style=\"color:#3fda66\" href=\"/vorn-volumes.json\">"
                  "/vorn-volumes.json</a>\n(2 disk images, 1 page, writable)</p>\n<ul>"
                  "<li><a href=\"/Alpha.po\">Alpha</a> (0.1 MB, 280 blocks, bootable)</li>"
                  "<li><a href=\"/Games/Star%20Run.po\">Star Run</a> (0.8 MB, 1600 blocks)</li>"
                  "</ul>\n\n</body>");
    std::string readOnly = indexHTML(share(false), kBase);
    const auto at = readOnly.find("1 page, read-only)");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(readOnly.replace(at + 8, 9, "writable"), page)
        << "only the catalog line tells a read-only share";
}

TEST_F(IndexPageTest, EveryImageIsListedWhateverThePages) {
    ShareState state = share();
    EXPECT_EQ(indexHTML(state, kBase).find("Apple II categories"), std::string::npos)
        << "no folders, no categories";
    EXPECT_TRUE(indexHTML(state, kBase)
                    .ends_with("(0 disk images, 1 page, writable)</p>\n<ul>"
                               "<li><i>no disk images found</i></li></ul>\n\n</body>"));
    for (int i = 1; i <= 17; ++i) {
        m_dir.write("lib/D" + std::to_string(i) + ".po", ProDosBytes(2).bytes());
    }
    const std::string page = indexHTML(share(), kBase);
    EXPECT_NE(page.find("(17 disk images, 2 pages, writable)"), std::string::npos);
    EXPECT_EQ(count(page, "<li>"), 17u);
}

TEST_F(IndexPageTest, CategoriesAreCutAtTwelve) {
    HubConfig hub;
    for (int i = 1; i <= 15; ++i) {
        hub.cats.push_back({"Cat" + std::to_string(i), std::nullopt});
        m_dir.write("lib/Cat" + std::to_string(i) + "/x.po", ProDosBytes(2).bytes());
    }
    ShareState state = share();
    state.hubOverride = hub;
    const std::string page = indexHTML(state, kBase);
    EXPECT_NE(page.find("\n(15, what the card lists under Your source)"), std::string::npos);
    EXPECT_EQ(count(page, "<li><a href=\"/search?cat="), 12u) << page;
    EXPECT_NE(page.find("<li><a href=\"/search?cat=Cat12\">Cat12</a> (1)</li>"), std::string::npos);
    state.hubOverride = HubConfig{{{"None", std::nullopt}}, false};
    EXPECT_NE(indexHTML(state, kBase).find("<li><a href=\"/search?cat=None\">None</a> (0)</li>"),
              std::string::npos)
        << "configured categories are listed even when empty";
}

// Anyone who can drop a file into the library or reach the port chooses some of the
// page's text; a browser on the LAN must get it as text, never as markup.
TEST_F(IndexPageTest, InsertedTextIsEscaped) {
    const std::string evil = "<img src=x onerror='alert(1)'>";
    m_dir.write("lib/Cat1/A<b&c \"d\".po", ProDosBytes(2).bytes());
    m_dir.write("lib/" + evil + ".po", ProDosBytes(2).bytes());
    m_dir.write("lib/" + evil + ".pcm", std::string(100, '\x80'));
    m_dir.write("lib/" + evil + ".shr", std::string(32768, '\0'));
    ShareState state = share();
    state.hubOverride = HubConfig{{{"Cat1", "<Best & First>"}}, false};
    rescanned(state, [&](LibraryScan& scan) {
        scan.audio.pending = {evil};
        scan.pictures.pending = {evil};
    });
    const std::string page = indexHTML(state, "http://\"><script>x()</script>/");

    const std::string text = "&lt;img src=x onerror=&#39;alert(1)&#39;&gt;";
    EXPECT_NE(
        page.find("<code style=\"color:#fff\">http://&quot;&gt;&lt;script&gt;x()&lt;/script&gt;/"
                  "</code>"),
        std::string::npos)
        << "Host header: " << page;
    EXPECT_NE(page.find("\">&lt;Best &amp; First&gt;</a> (1)</li>"), std::string::npos)
        << "category label: " << page;
    EXPECT_NE(
        page.find("<li><a href=\"/Cat1/A%3Cb%26c%20%22d%22.po\">A&lt;b&amp;c &quot;d&quot;</a>"),
        std::string::npos)
        << "disk name: " << page;
    EXPECT_NE(page.find("\">" + text + "</a> ("), std::string::npos) << "disk name: " << page;
    EXPECT_NE(page.find("\">" + text + "</a> (0 s, 0 KB)"), std::string::npos) << "track: " << page;
    EXPECT_NE(page.find("\">" + text + "</a> (SHR)"), std::string::npos) << "picture: " << page;
    EXPECT_NE(page.find("<li><i>" + text + " (transcoding...)"), std::string::npos) << page;
    EXPECT_NE(page.find("<li><i>" + text + " (converting...)"), std::string::npos) << page;
    for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
        const std::string tag = page.substr(at + 1, page.find_first_of(" >", at) - at - 1);
        EXPECT_TRUE(tag == "!doctype" || tag == "meta" || tag == "title" || tag == "body" ||
                    tag == "h1" || tag == "p" || tag == "code" || tag == "ul" || tag == "li" ||
                    tag == "a" || tag == "i" || tag.starts_with("/"))
            << "markup from a name: <" << tag;
    }
}

// A failed conversion is not tried again until its source changes: the page names it
// where pending items stand, so a person can tell why the file is not listed.
TEST_F(IndexPageTest, FailedConversionsAreNamedWherePendingOnesAre) {
    ShareState state = share();
    rescanned(state, [](LibraryScan& scan) {
        scan.audio.failed = {"Song <1>"};
        scan.pictures.pending = {"Sky"};
        scan.pictures.failed = {"Cat"};
    });
    const std::string page = indexHTML(state, kBase);
    EXPECT_NE(page.find("(0 tracks, u8/21973/mono PCM)</p>\n"
                        "<ul><li><i>Song &lt;1&gt; (conversion failed)</i></li></ul>"),
              std::string::npos)
        << "an audio section for a failure alone, its name escaped: " << page;
    EXPECT_NE(page.find("<li><i>Sky (converting...)</i></li>"
                        "<li><i>Cat (conversion failed)</i></li></ul>"),
              std::string::npos)
        << "failures after the pending pictures: " << page;
}

// The desktop program runs with the user's locale, where a decimal comma is common; the
// page must read the same as everywhere else.
TEST_F(IndexPageTest, SizesIgnoreTheProcessLocale) {
    // A locale of nothing but a decimal comma, built for the test (the system may have none).
    m_dir.write("locale/comma.src", "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\n"
                                    "grouping 3;3\nEND LC_NUMERIC\n");
    const std::string build = "localedef -c -i '" + (m_dir / "locale/comma.src").string() + "' '" +
                              (m_dir / "locale/comma").string() + "' >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(build.c_str()); // warns, yet builds
    setenv("LOCPATH", (m_dir / "locale").c_str(), 1);
    const bool comma = std::setlocale(LC_NUMERIC, "comma") != nullptr;
    unsetenv("LOCPATH");
    if (!comma) {
        GTEST_SKIP() << "no decimal-comma locale could be made (localedef missing?)";
    }
    m_dir.write("lib/Star Run.po", ProDosBytes(1600).bytes());
    const std::string page = indexHTML(share(), kBase);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_NE(page.find("Star Run</a> (0.8 MB, 1600 blocks)</li>"), std::string::npos) << page;
}

} // namespace
} // namespace vorn
