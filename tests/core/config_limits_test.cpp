// The limits checked before TinyXML parses OVConfig.xml.
#include <gtest/gtest.h>

#include <string>

#include "config/config_document.h"
#include "config/config_limits.h"
#include "tinyxml.h"

namespace {

constexpr ConfigLimits kSmall = {200, 3, 2};

std::string Nested(size_t depth) {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += "<e>";
    for (size_t i = 0; i < depth; ++i) text += "</e>";
    return text;
}

TEST(ConfigLimitsTest, EachLimitAndWhatDoesNotCount) {
    struct Case {
        std::string text;
        ConfigLimitFault fault;
    } cases[] = {
        {Nested(3), ConfigLimitFault::kNone},
        {Nested(4), ConfigLimitFault::kTooDeep},
        {"<a><b/><b/><b/><c><d/></c></a>", ConfigLimitFault::kNone},  // siblings don't nest
        {"<a x='1' y=\"2\"/>", ConfigLimitFault::kNone},
        {"<a x='1' y='2' z='3'/>", ConfigLimitFault::kTooManyAttributes},
        {"<a x='=,=' y='>='/>", ConfigLimitFault::kNone},  // inside quotes
        {"<a><!-- <b><c><d> = = = --></a>", ConfigLimitFault::kNone},
        {"<a><![CDATA[<b><c><d>]]></a>", ConfigLimitFault::kNone},
        {"<?xml version='1.0' encoding='x' standalone='no'?><a/>", ConfigLimitFault::kNone},
        {"<!DOCTYPE a><a>x = y = z</a>", ConfigLimitFault::kNone},
        {std::string(201, ' '), ConfigLimitFault::kTooLarge},
        {std::string(200, ' '), ConfigLimitFault::kNone},
        {std::string("<a/>\0", 5) + std::string(300, 'x'),
         ConfigLimitFault::kNone},                          // parser stops at NUL
        {"<a><b><c><d", ConfigLimitFault::kTooDeep},        // unterminated still counts
        {"<a x='1 y='2' z='3'>", ConfigLimitFault::kNone},  // one quoted run
    };
    for (const Case& c : cases) EXPECT_EQ(CheckConfigLimits(c.text, kSmall), c.fault) << c.text;
}

TEST(ConfigLimitsTest, LineOfTheFault) {
    size_t line = 0;
    EXPECT_EQ(CheckConfigLimits("<a>\n<!--\n-->\n<b>\n<c x='\n'>\n<d>", kSmall, &line),
              ConfigLimitFault::kTooDeep);
    EXPECT_EQ(line, 7u);
}

// Inputs that crash or stall TinyXML are refused before it sees them.
TEST(ConfigLimitsTest, HostileFilesAreRefusedQuickly) {
    TiXmlDocument document;
    ConfigLimitFault fault = ConfigLimitFault::kNone;
    EXPECT_FALSE(ParseConfigText(Nested(100000), document, &fault));
    EXPECT_EQ(fault, ConfigLimitFault::kTooDeep);
    std::string attributes = "<a";
    for (int i = 0; i < 20000; ++i) attributes += " a" + std::to_string(i) + "='x'";
    EXPECT_FALSE(ParseConfigText(attributes + "/>", document, &fault));
    EXPECT_EQ(fault, ConfigLimitFault::kTooManyAttributes);
    EXPECT_FALSE(ParseConfigText(std::string(kConfigLimits.maxBytes + 1, ' '), document, &fault));
    EXPECT_EQ(fault, ConfigLimitFault::kTooLarge);
}

TEST(ConfigLimitsTest, ParsesAsTheFileLoaderWould) {
    TiXmlDocument document;
    ASSERT_TRUE(ParseConfigText(
        "<?xml version='1.0'?>\r\n<OVConfig>\r<Version min='1' max='2'/>\r\n"
        "<Messages><Message title='a\r\nb' askuser='c\rd'/></Messages></OVConfig>\r\n",
        document));
    std::string minVersion;
    std::string maxVersion;
    MessageTable messages;
    ASSERT_TRUE(ReadConfigDocument(document, minVersion, maxVersion, messages));
    EXPECT_EQ(messages["title"], "a\nb");
    EXPECT_EQ(messages["askuser"], "c\nd");
    EXPECT_EQ(document.RootElement()->FirstChildElement("Version")->Row(), 3);
    EXPECT_FALSE(ParseConfigText("<a><b></a>", document));
    EXPECT_FALSE(ParseConfigText("", document));
}

}  // namespace
