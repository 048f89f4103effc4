#include "library/Catalog.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

namespace vorn {
namespace {

constexpr std::string_view kBase = "http://h/";

DiskImage image(const std::string& folder, const std::string& fileName, std::uint64_t blocks = 280,
                bool bootable = false) {
    DiskImage d;
    d.folder = folder;
    d.fileName = fileName;
    d.url = std::filesystem::path("/lib") / d.relPath();
    d.displayName = DiskImage::cleanName(fileName);
    d.bytes = blocks * 512;
    d.blocks = blocks;
    d.bootable = bootable;
    return d;
}

// The catalog must also be valid JSON; reading the names back checks both at once.
std::vector<std::string> names(const std::string& json) {
    std::vector<std::string> out;
    const nlohmann::json doc = nlohmann::json::parse(json);
    for (const auto& volume : doc.at("volumes")) {
        out.push_back(volume.at("name").get<std::string>());
    }
    return out;
}

std::string line(const std::string& name, const std::string& url, bool boot, bool readonly,
                 const std::string& cover = "") {
    return "  { \"name\": \"" + name +
           "\", \"bytes\": 143360, \"blocks\": 280, \"boot\": " + (boot ? "true" : "false") +
           ", \"readonly\": " + (readonly ? "true" : "false") + ", \"source\": \"lan\"," +
           (cover.empty() ? "" : " \"cover\": \"" + cover + "\",") + " \"url\": \"" + url + "\" }";
}

Catalog numbered(int count) {
    std::vector<DiskImage> images;
    for (int i = count; i >= 1; --i) { // reverse, so the catalog's own sort is exercised
        images.push_back(
            image("", "Disk_" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".po"));
    }
    return Catalog(std::move(images), true);
}

TEST(CatalogTest, PagesHoldSixteenEntries) {
    EXPECT_EQ(Catalog({}, true).pageJSON(1, kBase, {}),
              "{ \"pages\": 1, \"total\": 0, \"volumes\": [\n] }\n");
    EXPECT_EQ(numbered(16).pages(), 1);
    EXPECT_EQ(names(numbered(16).pageJSON(1, kBase, {})).size(), 16u);
    const Catalog seventeen = numbered(17);
    EXPECT_EQ(seventeen.pages(), 2);
    const std::vector<std::string> first = names(seventeen.pageJSON(1, kBase, {}));
    ASSERT_EQ(first.size(), 16u);
    EXPECT_EQ(first.front(), "Disk 01");
    EXPECT_EQ(first.back(), "Disk 16");
    EXPECT_EQ(seventeen.pageJSON(2, kBase, {}),
              "{ \"pages\": 2, \"total\": 17, \"volumes\": [\n" +
                  line("Disk 17", "http://h/Disk_17.po", false, false) + "\n] }\n")
        << "the last entry ends with a line feed and no comma";
    const std::string empty = "{ \"pages\": 2, \"total\": 17, \"volumes\": [\n] }\n";
    EXPECT_EQ(seventeen.pageJSON(3, kBase, {}), empty);
    EXPECT_EQ(seventeen.pageJSON(std::numeric_limits<std::int64_t>::max(), kBase, {}), empty)
        << "a huge page number must not wrap around to a real page";
}

TEST(CatalogTest, EntryLinesAndReadOnlyFlag) {
    const std::vector<DiskImage> images{image("Games", "Zork.po"),
                                        image("Games", "Lunar Base.po", 280, true)};
    const std::string lunar = "http://h/Games/Lunar%20Base.po";
    EXPECT_EQ(Catalog(images, false).pageJSON(1, kBase, {}),
              "{ \"pages\": 1, \"total\": 2, \"volumes\": [\n" +
                  line("Lunar Base", lunar, true, true) + ",\n" +
                  line("Zork", "http://h/Games/Zork.po", false, true) + "\n] }\n");
    const Covers covers{{"lunar base", "http://h/pictures/Lunar%20Base.shr"}, {"zor", "x"}};
    EXPECT_EQ(Catalog(images, true).pageJSON(1, kBase, covers),
              "{ \"pages\": 1, \"total\": 2, \"volumes\": [\n" +
                  line("Lunar Base", lunar, true, false, "http://h/pictures/Lunar%20Base.shr") +
                  ",\n" + line("Zork", "http://h/Games/Zork.po", false, false) + "\n] }\n")
        << "a cover member appears only when the volume's key is in the map";
}

TEST(CatalogTest, EqualNamesAreToldApartByFolder) {
    const Catalog catalog({image("B", "Disk 1.po"), image("", "disk 1.po"), image("A", "Disk_1.po"),
                           image("X/Same", "Twin.po"), image("Y/Same", "twin.po"),
                           image("Games", "Solo.po")},
                          true);
    std::vector<std::string> shown;
    for (const DiskImage& d : catalog.images()) {
        shown.push_back(d.displayName);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"disk 1", "Disk 1 (A)", "Disk 1 (B)", "Solo",
                                               "Twin (Same)", "twin (Same)"}))
        << "root names stay; names in folders get the folder; counting ignores case";
}

TEST(CatalogTest, JsonStringEscapesOnlyWhatJsonRequires) {
    EXPECT_EQ(Catalog::jsonString("a\"b\\c\td"), "\"a\\\"b\\\\c\\u0009d\"");
    EXPECT_EQ(Catalog::jsonString("line\nend\x01\x1F"), "\"line\\u000Aend\\u0001\\u001F\"");
    EXPECT_EQ(Catalog::jsonString("a/b\x7F"
                                  "caf\xC3\xA9"),
              "\"a/b\x7F"
              "caf\xC3\xA9\"")
        << "slash, DEL and non-ASCII are copied unchanged";
    EXPECT_EQ(Catalog::jsonString(""), "\"\"");
    const std::string tricky = "Say \"hi\"\\\t\n";
    EXPECT_EQ(nlohmann::json::parse(Catalog::jsonString(tricky)).get<std::string>(), tricky);
}

// Games/Arcade/Star_Run.po, Games/Lunar Base.po, Utils/Copy II.po and Archon.po in the root.
Catalog smallLibrary() {
    return Catalog({image("Games/Arcade", "Star_Run.po"), image("Games", "Lunar Base.po"),
                    image("Utils", "Copy II.po"), image("", "Archon.po")},
                   true);
}

TEST(CatalogTest, SearchLooksAtNamesFileNamesAndFolders) {
    const Catalog catalog = smallLibrary();
    const auto search = [&](std::string_view q, std::optional<std::string> cat = std::nullopt,
                            bool prefix = false) {
        return names(catalog.searchJSON(q, 1, kBase, {}, cat, prefix));
    };
    EXPECT_EQ(search("ARC"), (std::vector<std::string>{"Archon", "Star Run"}))
        << "Star Run matches through its folder Games/Arcade";
    EXPECT_EQ(search("star_"), (std::vector<std::string>{"Star Run"})) << "file name match";
    EXPECT_EQ(search("", std::string("Games")),
              (std::vector<std::string>{"Lunar Base", "Star Run"}));
    EXPECT_EQ(search("arcade:", std::string("Games"), true),
              (std::vector<std::string>{"Arcade: Star Run"}))
        << "a category search tests the prefixed name";
    EXPECT_EQ(catalog.searchJSON("zzz", 1, kBase, {}, std::nullopt, false),
              "{ \"pages\": 1, \"count\": 0, \"volumes\": [\n] }\n");
    EXPECT_EQ(catalog.searchJSON("", 1, kBase, {}, std::string("Utils"), false),
              "{ \"pages\": 1, \"count\": 1, \"volumes\": [\n" +
                  line("Copy II", "http://h/Utils/Copy%20II.po", false, false) + "\n] }\n");
}

TEST(CatalogTest, CategoryMembersAndPrefixedNames) {
    const Catalog catalog = smallLibrary();
    const auto shown = [](const std::vector<DiskImage>& images) {
        std::vector<std::string> out;
        for (const DiskImage& d : images) {
            out.push_back(d.displayName);
        }
        return out;
    };
    EXPECT_EQ(shown(catalog.inCategory("Games", false)),
              (std::vector<std::string>{"Lunar Base", "Star Run"}));
    EXPECT_EQ(shown(catalog.inCategory("Games", true)),
              (std::vector<std::string>{"Arcade: Star Run", "Lunar Base"}))
        << "prefixed names are sorted again";
    EXPECT_EQ(shown(catalog.inCategory("Games/Arcade", true)),
              (std::vector<std::string>{"Star Run"}));
    EXPECT_EQ(shown(catalog.inCategory("", false)), (std::vector<std::string>{"Archon"}))
        << "the empty category holds only the root";
    EXPECT_TRUE(catalog.inCategory("Gam", false).empty()) << "whole folder names only";
    EXPECT_TRUE(catalog.inCategory("Nowhere", true).empty());
}

TEST(CatalogTest, CoverKeysAndUrlEncoding) {
    for (const char* name : {"Saga IV Dk1", "Saga IV Dk2", "Saga IV (Games)", " Saga IV\t"}) {
        EXPECT_EQ(Catalog::coverKey(name), "saga iv") << name;
    }
    EXPECT_EQ(Catalog::coverKey("Dkong"), "dkong");
    EXPECT_EQ(Catalog::urlEncode("Games/Star Run #2.shr"), "Games%2FStar%20Run%20%232.shr");
}

} // namespace
} // namespace vorn
