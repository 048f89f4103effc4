#include "library/HubConfig.h"

#include "library/YourHub.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace vorn {
namespace {

// Labels are trimmed and cut as `vorn-share categories label` shows; the cut itself is
// Text::prefixCharacters'.
TEST(HubConfigTest, LabelsAndLookup) {
    EXPECT_EQ((HubCategory{"Games/Arcade", " \t "}.displayLabel()), "Arcade")
        << "a blank label shows the folder's own name";
    const HubConfig config{{{"Games", "Fun"}, {"Utils", {}}, {"Games", "Second"}}, false};
    EXPECT_EQ(config.label("Games"), "Fun") << "the first category with the path wins";
    EXPECT_EQ(config.label("Utils"), "Utils");
    EXPECT_EQ(config.label("games"), std::nullopt) << "paths are compared exactly";
    EXPECT_TRUE(config.contains("Utils"));
    EXPECT_FALSE(config.contains("Util"));
}

TEST(HubConfigTest, PersistedFormRoundTripsAndRejectsMalformedInput) {
    const HubConfig plain{{{"Games", {}}, {"Games/Arcade", {}}}, false};
    const auto text = plain.encoded();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->find("label"), std::string::npos) << *text;
    EXPECT_EQ(HubConfig::decode(*text), plain);
    const HubConfig labelled{{{"Utils", "Utilit\xC3\xA9s \"1\""}, {"", {}}}, true};
    EXPECT_EQ(HubConfig::decode(labelled.encoded().value()), labelled);
    EXPECT_EQ(
        HubConfig::decode(
            R"({"prefixSubfolder": false, "extra": 1, "cats": [{"path": "A", "label": null}]})"),
        (HubConfig{{{"A", {}}}, false}))
        << "a null label is absent; unknown keys are ignored";
    EXPECT_FALSE((HubConfig{{{"bad\xFF", {}}}, false}.encoded())) << "not UTF-8";

    for (const char* bad :
         {"not json", "[]", R"({"cats": []})", R"({"prefixSubfolder": true})",
          R"({"cats": {}, "prefixSubfolder": true})", R"({"cats": [1], "prefixSubfolder": true})",
          R"({"cats": [{}], "prefixSubfolder": true})",
          R"({"cats": [{"path": 3}], "prefixSubfolder": true})",
          R"({"cats": [{"path": "A", "label": 5}], "prefixSubfolder": true})",
          R"({"cats": [], "prefixSubfolder": "yes"})", R"({"cats": [], "prefixSubfolder": 1})",
          R"({"cats": [], "prefixSubfolder": true} trailing)"}) {
        EXPECT_EQ(HubConfig::decode(bad), std::nullopt) << "accepted: " << bad;
    }
}

TEST(YourHubTest, JsonListsCategoriesHoldingItems) {
    const std::map<std::string, std::int64_t> sizes{{"Games", 17}, {"Utils", 3}};
    const auto count = [&](const std::string& path) {
        const auto it = sizes.find(path);
        return it == sizes.end() ? 0 : it->second;
    };
    EXPECT_EQ(YourHub::json(HubConfig{{{"Empty", {}}}, false}, YourHub::Kind::audio, 5, count),
              "{ \"hub\": \"your\", \"kind\": \"audio\", \"total\": 5, \"cats\": [\n] }\n")
        << "a category without items gives no row";
    EXPECT_EQ(YourHub::json(HubConfig{{{"Odd\\\"Path\"", "Say \"hi\""}}, false},
                            YourHub::Kind::pictures, 1, [](const std::string&) { return 1; }),
              "{ \"hub\": \"your\", \"kind\": \"pictures\", \"total\": 1, \"cats\": [\n"
              "  { \"name\": \"Say \\\"hi\\\"\", \"cat\": \"Odd\\\\\\\"Path\\\"\", \"n\": 1 }\n"
              "] }\n");
}

TEST(YourHubTest, AtMostTwelveRowsAndLaterCategoriesAreNotCounted) {
    HubConfig config;
    for (int i = 1; i <= 14; ++i) {
        // Appended rather than "C" + to_string: GCC 12 at -O3 warns falsely (-Wrestrict).
        std::string name = "C";
        name += std::to_string(i);
        config.cats.push_back({name, {}});
    }
    std::vector<std::string> asked;
    const auto count = [&](const std::string& path) {
        asked.push_back(path);
        return path == "C2" ? std::int64_t{0} : std::int64_t{7};
    };
    const std::string json = YourHub::json(config, YourHub::Kind::disks, 91, count);
    EXPECT_NE(json.find("\"cat\": \"C13\", \"n\": 7 }\n] }\n"), std::string::npos)
        << "C13 is the twelfth row and the last:\n"
        << json;
    EXPECT_EQ(json.find("\"C2\""), std::string::npos) << "the empty C2 is skipped";
    EXPECT_EQ(json.find("\"C14\""), std::string::npos);
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 14) << "head, twelve rows, tail";
    EXPECT_EQ(asked.back(), "C13") << "once twelve rows are collected nothing more is counted";
}

} // namespace
} // namespace vorn
