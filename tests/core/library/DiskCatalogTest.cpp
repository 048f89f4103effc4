#include "library/DiskCatalog.h"

#include "library/CleanName.h"
#include "library/FolderWalk.h"
#include "library/JsonString.h"
#include "support/DosDisks.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

namespace vorn {
namespace {

constexpr std::string_view kBase = "http://h/";

// A floppy-sized image (280 blocks) that the catalog takes as it is given.
DiskImage image(const std::string& folder, const std::string& fileName, bool bootable = false) {
    // path, folder, file name, display name, bytes, blocks, bootable, volume name
    return {"/lib/" + fileName, folder,      fileName, cleanName(fileName), 143360, 280,
            bootable,           std::nullopt};
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

TEST(DiskCatalogTest, PagesHoldSixteenEntries) {
    EXPECT_EQ(DiskCatalog({}, true).pageJSON(1, kBase, {}),
              "{ \"pages\": 1, \"total\": 0, \"volumes\": [\n] }\n");
    std::vector<DiskImage> images;
    for (int i = 17; i >= 1; --i) { // reverse, so the catalog's own sort is exercised
        images.push_back(image("", (i < 10 ? "Disk_0" : "Disk_") + std::to_string(i) + ".po"));
        EXPECT_EQ(DiskCatalog(images, true).pages(), i == 1 ? 2 : 1) << images.size() << " images";
    }
    const DiskCatalog seventeen(images, true);
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

TEST(DiskCatalogTest, EntryLinesReadOnlyFlagAndCovers) {
    const std::vector<DiskImage> images{image("Games", "Zork.po"),
                                        image("Games", "Lunar Base.po", true)};
    const std::string lunar = "http://h/Games/Lunar%20Base.po";
    const Covers covers{{"lunar base", "http://h/pictures/Lunar%20Base.shr"}, {"zor", "x"}};
    EXPECT_EQ(DiskCatalog(images, true).pageJSON(1, kBase, covers),
              "{ \"pages\": 1, \"total\": 2, \"volumes\": [\n" +
                  line("Lunar Base", lunar, true, false, "http://h/pictures/Lunar%20Base.shr") +
                  ",\n" + line("Zork", "http://h/Games/Zork.po", false, false) + "\n] }\n")
        << "a cover member appears only when the volume's key is in the map";
    for (const char* name : {"Saga IV Dk1", "Saga IV Dk2", "Saga IV (Games)", " Saga IV\t"}) {
        EXPECT_EQ(DiskCatalog::coverKey(name), "saga iv") << name;
    }
    EXPECT_EQ(DiskCatalog::coverKey("Dkong"), "dkong") << "\" dk\" only after a space";
}

TEST(DiskCatalogTest, EqualNamesAreToldApartByFolder) {
    const DiskCatalog catalog({image("B", "Disk 1.po"), image("", "disk 1.po"),
                               image("A", "Disk_1.po"), image("X/Same", "Twin.po"),
                               image("Y/Same", "twin.po"), image("Games", "Solo.po")},
                              true);
    std::vector<std::string> shown;
    for (const DiskImage& d : catalog.images()) {
        shown.push_back(d.displayName);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"disk 1", "Disk 1 (A)", "Disk 1 (B)", "Solo",
                                               "Twin (Same)", "twin (Same)"}))
        << "root names stay; names in folders get the folder; counting ignores case";
}

TEST(DiskCatalogTest, JsonStringEscapesOnlyWhatJsonRequires) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\"b\\c\td", R"("a\"b\\c\u0009d")"},
        {"line\nend\x01\x1F", R"("line\u000Aend\u0001\u001F")"},
        {"a/b\x7F", "\"a/b\x7F\""}, // slash and DEL are copied unchanged
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
        {"", "\"\""},
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(jsonString(text), json) << text;
        EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), text) << "not valid JSON";
    }
}

// Games/Arcade/Star_Run.po, Games/Lunar Base.po, Utils/Copy II.po and Archon.po in the root.
TEST(DiskCatalogTest, SearchLooksAtNamesFileNamesAndFoldersWithinACategory) {
    const DiskCatalog catalog({image("Games/Arcade", "Star_Run.po"),
                               image("Games", "Lunar Base.po"), image("Utils", "Copy II.po"),
                               image("", "Archon.po")},
                              true);
    const auto search = [&](std::string_view q, std::optional<std::string> cat = std::nullopt,
                            bool prefix = false) {
        return names(catalog.searchJSON(q, 1, kBase, {}, cat, prefix));
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(search("ARC"), (Names{"Archon", "Star Run"}))
        << "Star Run matches through its folder Games/Arcade";
    EXPECT_EQ(search("star_"), (Names{"Star Run"})) << "file name match";
    EXPECT_EQ(search("zzz"), Names{});
    EXPECT_EQ(search("", "Games"), (Names{"Lunar Base", "Star Run"}));
    EXPECT_EQ(search("", "Games", true), (Names{"Arcade: Star Run", "Lunar Base"}))
        << "prefixed names are sorted again";
    EXPECT_EQ(search("arcade:", "Games", true), (Names{"Arcade: Star Run"}))
        << "a category search tests the prefixed name";
    EXPECT_EQ(search("", "Games/Arcade", true), (Names{"Star Run"}));
    EXPECT_EQ(search("", ""), (Names{"Archon"})) << "the empty category holds only the root";
    EXPECT_EQ(catalog.searchJSON("", 1, kBase, {}, std::string("Utils"), false),
              "{ \"pages\": 1, \"count\": 1, \"volumes\": [\n" +
                  line("Copy II", "http://h/Utils/Copy%20II.po", false, false) + "\n] }\n");
}

TEST(DiskCatalogTest, DiskIIFilesCountAsSkippedUnlessTheyHoldAProDosVolume) {
    test::TempDir dir;
    const std::string volume = test::proDosDisk("ADVENTURE");
    dir.write("lib/Games/Adventure.dsk", test::dosOrdered(volume));
    dir.write("lib/Games/Twin.do", volume);
    dir.write("lib/Games/Master.dsk", test::dos33Disk());
    dir.write("lib/Games/Blank.do", std::string(test::kDiskBytes, '\0'));
    dir.write("lib/Games/Flux.woz", volume);
    dir.write("lib/Games/Raw.nib", volume);
    const std::vector<WalkedFile> files = FolderWalk::files(dir / "lib");
    const DiskCatalog catalog = DiskCatalog::scan(files, true);
    EXPECT_EQ(names(catalog.pageJSON(1, kBase, {})),
              (std::vector<std::string>{"Adventure", "Twin"}));
    EXPECT_EQ(catalog.skippedDiskII(files), 4) << "a DOS 3.3 disk, a blank one, .woz and .nib";
    EXPECT_TRUE(catalog.dosOrdered("Games/Adventure.dsk"));
    EXPECT_FALSE(catalog.dosOrdered("Games/Twin.do")) << "a ProDOS-order disk is served as it is";
    EXPECT_FALSE(catalog.dosOrdered("Games/Master.dsk"));
}

} // namespace
} // namespace vorn
