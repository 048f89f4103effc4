#include "platform/Text.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vorn {
namespace {

const std::string eAcute = "\xC3\xA9", EAcute = "\xC3\x89";

// The lists people see are ordered by this comparison, so the order itself is the contract.
TEST(TextTest, CollationIgnoresCaseButKeepsAccents) {
    EXPECT_EQ(Text::compare("a", "A"), 0) << "case must not matter";
    EXPECT_NE(Text::compare("e", eAcute), 0) << "e and e-acute must stay distinct";
    std::vector<std::string> names{"zebra",         EAcute + "clair", "eclair", "Apple",
                                   eAcute + "cole", "Ecole",          "banana"};
    Text::stableSort(names, [](const std::string& s) { return s; });
    EXPECT_EQ(names, (std::vector<std::string>{"Apple", "banana", "eclair", EAcute + "clair",
                                               "Ecole", eAcute + "cole", "zebra"}))
        << "not byte order; accented letters sort with their base letter, after it";
}

TEST(TextTest, CaseMappingCoversNonAscii) {
    EXPECT_EQ(Text::upper(std::string("stra\xC3\x9F") + "e"), "STRASSE")
        << "sharp s upper-cases to two letters";
    EXPECT_EQ(Text::lower(EAcute + "COLE"), eAcute + "cole");
    EXPECT_EQ(Text::upper("caf" + eAcute), "CAF" + EAcute);
    EXPECT_EQ(Text::asciiLower(EAcute + "A"), EAcute + "a") << "only ASCII letters change";
}

TEST(TextTest, PercentEncodingKeepsLettersMarksAndDigits) {
    EXPECT_EQ(Text::percentEncode("Star Run #2/x+y"), "Star%20Run%20%232%2Fx%2By");
    EXPECT_EQ(Text::percentEncode("a.b-c_d~e"), "a.b-c_d~e");
    EXPECT_EQ(Text::percentEncode("Caf\xC3\xA9 e\xCC\x81"), "Caf\xC3\xA9%20e\xCC\x81")
        << "accented letters and combining marks stay unencoded";
    EXPECT_EQ(Text::percentEncode("100%"), "100%25");
    EXPECT_EQ(Text::percentEncode("a\xFF"), "a%FF") << "a stray byte is encoded on its own";
}

TEST(TextTest, PercentDecodingRefusesMalformedEscapes) {
    EXPECT_EQ(Text::percentDecode("Games%2FArcade%20x"), "Games/Arcade x");
    EXPECT_EQ(Text::percentDecode("%c3%A9"), "\xC3\xA9") << "hex digits in either case";
    EXPECT_EQ(Text::percentDecode("plain"), "plain");
    EXPECT_EQ(Text::percentDecode(""), "");
    for (const char* bad : {"%ZZ", "%4", "x%", "%G1", "%FF", "%C3"}) {
        EXPECT_EQ(Text::percentDecode(bad), std::nullopt) << bad << " must not decode";
    }
}

TEST(TextTest, PrefixCountsUserPerceivedCharacters) {
    const std::string marked = "e\xCC\x81"; // e followed by a combining acute accent
    EXPECT_EQ(Text::prefixCharacters(marked + "t" + marked, 2), marked + "t")
        << "a base letter and its mark are one character";
    EXPECT_EQ(Text::prefixCharacters("abc", 10), "abc");
    EXPECT_EQ(Text::prefixCharacters("abc", 0), "");
    EXPECT_EQ(Text::prefixCharacters("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7x", 1),
              "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7")
        << "a flag is two code points but one character";
}

} // namespace
} // namespace vorn
