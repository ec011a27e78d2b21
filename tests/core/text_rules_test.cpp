// The case-blind rule, as tables: only ASCII letters fold; bytes from 0x80
// on (an ANSI code page's own letters) and the punctuation beside the two
// ASCII alphabets stand as they are.
#include <gtest/gtest.h>

#include <string>

#include "platform/text_rules.h"

namespace {

TEST(EqualIgnoringCase, ComparesAsciiLettersOnly) {
    EXPECT_TRUE(EqualIgnoringCase("Firmware", "FIRMWARE"));
    EXPECT_TRUE(EqualIgnoringCase("", ""));
    EXPECT_FALSE(EqualIgnoringCase("Firmware", "Firmwar"));
    EXPECT_FALSE(EqualIgnoringCase("Firmwar", "Firmware"));
    EXPECT_FALSE(EqualIgnoringCase("a[", "A{"));
    EXPECT_TRUE(EqualIgnoringCase("00000A", "00000a"));
}

TEST(TextRules, TheFoldedNameChangesOnlyAsciiCapitals) {
    const struct {
        std::string name;
        std::string folded;
    } cases[] = {
        {"OVConfig.XML", "ovconfig.xml"},
        {"C:\\Program Files\\Orvexa", "c:\\program files\\orvexa"},
        {"@[`{", "@[`{"},  // the neighbours of A-Z and a-z
        {"\xC4\xD6", "\xC4\xD6"},  // Latin-1 capitals are the system's to fold
        {std::string("A\0B", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FoldedName(c.name), c.folded) << c.name;
        EXPECT_TRUE(SameIgnoringCase(c.name, c.folded)) << c.name;
    }
}

TEST(TextRules, WholeTextsPrefixesAndSuffixes) {
    EXPECT_TRUE(SameIgnoringCase("Skins\\A.skin", "SKINS\\a.SKIN"));
    EXPECT_FALSE(SameIgnoringCase("Skins", "Skins\\"));
    // A NUL ends neither text: what follows it is compared too.
    EXPECT_FALSE(SameIgnoringCase(std::string("a\0b", 3), std::string("a\0c", 3)));
    EXPECT_FALSE(EqualIgnoringCase("\xC4", "\xE4"));

    EXPECT_TRUE(StartsWithIgnoringCase(".RIZezuvu-journal-1", ".rizezuvu-JOURNAL"));
    EXPECT_TRUE(StartsWithIgnoringCase("abc", ""));
    EXPECT_FALSE(StartsWithIgnoringCase("ab", "abc"));
    EXPECT_FALSE(StartsWithIgnoringCase("xabc", "abc"));

    EXPECT_TRUE(EndsWithIgnoringCase("UPDATE.BIN", ".bin"));
    EXPECT_TRUE(EndsWithIgnoringCase(".bin", ".BIN"));
    EXPECT_FALSE(EndsWithIgnoringCase("bin", ".bin"));
    EXPECT_FALSE(EndsWithIgnoringCase("update.bin.txt", ".bin"));
}

}  // namespace
