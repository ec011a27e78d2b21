#include "log/log_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(FormatLogTimestamp, EnglishMonthsAndTwoDigitFields) {
    std::tm december = LocalTime(2026, 12, 7, 22, 36, 55);
    EXPECT_EQ(FormatLogTimestamp(&december), "07, December 2026, 22:36:55: ");
    std::tm march = LocalTime(2027, 3, 1, 9, 5, 3);
    EXPECT_EQ(FormatLogTimestamp(&march), "01, March 2027, 09:05:03: ");
    const char* months[] = {"January", "February", "March",     "April",   "May",      "June",
                            "July",    "August",   "September", "October", "November", "December"};
    for (int month = 1; month <= 12; ++month) {
        std::tm t = LocalTime(2030, month, 31, 0, 0, 0);
        EXPECT_EQ(FormatLogTimestamp(&t),
                  std::string("31, ") + months[month - 1] + " 2030, 00:00:00: ");
    }
}

TEST(FormatLogTimestamp, InvalidTimeHasNoSeparator) {
    EXPECT_EQ(FormatLogTimestamp(nullptr), "Invalid DateTime");
}

std::string Expand(const char* text, const char* argument, size_t size = kLogMessageSize) {
    std::string out(size, '#');
    ExpandConfiguredText(&out[0], size, text, argument);
    return std::string(out.c_str());
}

std::string Printf(const char* format, const char* argument) {
    char out[kLogMessageSize];
    std::snprintf(out, sizeof out, format, argument);
    return out;
}

TEST(ExpandConfiguredText, MatchesPrintfForTextsWithAtMostOneString) {
    const char* texts[] = {
        "Update tool %s started.", "Updated file %s", "%s",          "no conversion", "",
        "100%% done %s",           "%s at 50%%",      "line\n%s\r\n"};
    for (const char* text : texts) {
        EXPECT_EQ(Expand(text, "skin.dat"), Printf(text, "skin.dat")) << text;
    }
}

TEST(ExpandConfiguredText, OtherConversionsAreWrittenAsTheyStand) {
    EXPECT_EQ(Expand("%s and %s", "a"), "a and %s");
    EXPECT_EQ(Expand("%n%d%x %s", "a"), "%n%d%x a");
    EXPECT_EQ(Expand("%5s|%s", "a"), "%5s|a");
    EXPECT_EQ(Expand("ends with %", "a"), "ends with %");
    EXPECT_EQ(Expand("%%s is literal", "a"), "%s is literal");
}

TEST(ExpandConfiguredText, CutsLongTextsWithinTheBuffer) {
    std::string longArgument(5000, 'x');
    std::string out = Expand("file %s end", longArgument.c_str());
    EXPECT_EQ(out.size(), kLogMessageSize - 1);
    EXPECT_EQ(out.substr(0, 5), "file ");

    std::string small = Expand("abcdef%s", "ghij", 4);
    EXPECT_EQ(small, "abc");
}

}  // namespace
