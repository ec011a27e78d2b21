#include "product/version_fields.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/shift_jis.h"

namespace {

struct SplitCase {
    const char* text;
    std::vector<std::string> fields;
};

TEST(SplitFields, CutsAndTrimsAtTheSeparator) {
    const SplitCase cases[] = {
        {"", {}},
        {"1.6.0.3", {"1", "6", "0", "3"}},
        {"1..2.3", {"1", "", "2", "3"}},
        {".1.2.3", {"", "1", "2", "3"}},
        {"1.2.3.", {"1", "2", "3"}},
        {"1.2.3. ", {"1", "2", "3", ""}},
        {".", {""}},
        {"..", {"", ""}},
        {"1 . 6", {"1", "6"}},
        {" \t1\r\n.\v6\f ", {"1", "6"}},
    };
    for (const SplitCase& c : cases) {
        std::vector<std::string> fields;
        EXPECT_EQ(SplitFields(c.text, '.', fields), static_cast<int>(c.fields.size())) << c.text;
        EXPECT_EQ(fields, c.fields) << c.text;
    }
}

TEST(SplitFields, AppendsToWhatTheListHolds) {
    std::vector<std::string> fields = {"kept"};
    EXPECT_EQ(SplitFields("a.b", '.', fields), 3);
    EXPECT_EQ(fields, (std::vector<std::string>{"kept", "a", "b"}));
}

TEST(SplitFields, SeparatorInsideADoubleByteCharacterDoesNotSplit) {
    // 0x81 0x2E is one double-byte character whose trail byte is '.'.
    const std::string text = "a\x81.b.c";
    std::vector<std::string> fields;
    EXPECT_EQ(SplitFields(text, '.', fields, &ShiftJisLeadByte), 2);
    EXPECT_EQ(fields, (std::vector<std::string>{"a\x81.b", "c"}));

    std::vector<std::string> singleByte;
    EXPECT_EQ(SplitFields(text, '.', singleByte), 3);
}

TEST(SplitFields, LeadByteAtTheEndStaysInTheLastField) {
    std::vector<std::string> fields;
    EXPECT_EQ(SplitFields("a.\x81", '.', fields, &ShiftJisLeadByte), 2);
    EXPECT_EQ(fields[1], "\x81");
}

struct CompareCase {
    const char* first;
    const char* second;
    int expected;
};

TEST(CompareVersions, OrdersFourFieldVersions) {
    const CompareCase cases[] = {
        {"1.6.00.12", "1.6.0.3", 1},
        {"1.6.00.12", "1.6.00.12", 0},
        {"1.5.00.300", "1.6.00.1", -1},
        {"2.0.00.1", "1.9.00.999", 1},
        {"1.6.00.12", "1.6.99.12", 0},
        {"1.6.00.012", "1.6.00.12", 0},
        {"1.06.00.3", "1.6.00.3", 0},
        {"1.6.00.1a", "1.6.00.1", 0},
        {"1.6.00.x", "1.6.00.0", 0},
        {"1.6.00.-1", "1.6.00.0", -1},
        {"1.6.12", "1.6.00.3", 0},
        {"1.6.00.3.1", "1.6.00.3", 0},
        {"1.6.00.12", "", 0},
        {"1.6.00.3.", "1.6.00.4", -1},
        {"1 . 6 . 00 . 3", "1.6.00.3", 0},
        {"1.6.00.99999999999", "1.6.00.2147483647", 0},
        {"1.6.00.-99999999999", "1.6.00.-2147483648", 0},
        {"1.6.00.3", "1.6.00.12", -1},
        {"1.6.00.3", "1.6.00", 0},
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(CompareVersions(c.first, c.second), c.expected) << c.first << " vs " << c.second;
    }
}

TEST(VersionInRange, BothBoundsInclusive) {
    struct Case {
        const char* installed;
        bool inRange;
    } cases[] = {
        {"1.6.00.0", true},   {"1.6.00.50", true}, {"1.6.00.17", true}, {"1.5.00.99", false},
        {"1.6.00.51", false}, {"1.6.99.17", true},  // the third field is not compared
        {"1.6", true},        {"", true},           // not four fields: equal to both bounds
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionInRange(c.installed, "1.6.00.0", "1.6.00.50"), c.inRange) << c.installed;
    EXPECT_FALSE(VersionInRange("1.6.00.17", "1.6.00.20", "1.6.00.10"));  // an empty range
}

TEST(ParseVersionField, FollowsAtoiWithClamping) {
    EXPECT_EQ(ParseVersionField("  +42x"), 42);
    EXPECT_EQ(ParseVersionField("-7"), -7);
    EXPECT_EQ(ParseVersionField("-"), 0);
    EXPECT_EQ(ParseVersionField("abc"), 0);
    EXPECT_EQ(ParseVersionField("2147483647"), INT_MAX);
    EXPECT_EQ(ParseVersionField("2147483648"), INT_MAX);
    EXPECT_EQ(ParseVersionField("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseVersionField("-2147483649"), INT_MIN);
    EXPECT_EQ(ParseVersionField(std::string(400, '9')), INT_MAX);
}

}  // namespace
