#include "config/config_document.h"

#include <gtest/gtest.h>

#include "tinyxml.h"

namespace {

struct LoadCase {
    const char* name;
    const char* xml;
    bool loads;
    const char* minVersion;
    const char* maxVersion;
    MessageTable messages;
};

const char kHead[] = "<?xml version='1.0'?>";

TEST(ReadConfigDocument, RulesOfTheFormat) {
    const LoadCase cases[] = {
        {"minimal",
         "<C><Version min='1.6.00.1' max='1.6.00.999'/><Messages><Message "
         "title='T'/></Messages></C>",
         true,
         "1.6.00.1",
         "1.6.00.999",
         {{"title", "T"}}},
        {"element names in any case",
         "<c><version min='1'/><MESSAGES><mEsSaGe a='1'/></MESSAGES></c>",
         true,
         "1",
         "",
         {{"a", "1"}}},
        {"last Version wins; one without attributes empties both",
         "<C><Version min='1' max='2'/><Messages><Message a='x'/></Messages><Version/></C>",
         true,
         "",
         "",
         {{"a", "x"}}},
        {"later Version with values wins",
         "<C><Version min='1' max='2'/><Version min='3' max='4'/><Messages><Message "
         "a='x'/></Messages></C>",
         true,
         "3",
         "4",
         {{"a", "x"}}},
        {"attribute names are exact",
         "<C><Version Min='1' MAX='2'/><Messages><Message a='x'/></Messages></C>",
         true,
         "",
         "",
         {{"a", "x"}}},
        {"a key's last definition wins, across Message and Messages elements",
         "<C><Version/><Messages><Message a='1' b='2'/><Message a='3'/></Messages>"
         "<Messages><Message b='4'/></Messages></C>",
         true,
         "",
         "",
         {{"a", "3"}, {"b", "4"}}},
        {"keys keep their case",
         "<C><Version/><Messages><Message Title='A' title='b'/></Messages></C>",
         true,
         "",
         "",
         {{"Title", "A"}, {"title", "b"}}},
        {"comments and text are skipped",
         "<C><!-- c --><Version min='1'/>text<Messages><!-- c -->more<Message a='1'/><!-- c "
         "--></Messages></C>",
         true,
         "1",
         "",
         {{"a", "1"}}},
        {"entities are resolved, either quote",
         "<C><Version min=\"1&amp;2\"/><Messages><Message a='&lt;x&gt; &quot;q&quot;' "
         "b=\"it's\"/></Messages></C>",
         true,
         "1&2",
         "",
         {{"a", "<x> \"q\""}, {"b", "it's"}}},
        {"a Message outside Messages is ignored",
         "<C><Version/><Message a='1'/><Messages><Message b='2'/></Messages></C>",
         true,
         "",
         "",
         {{"b", "2"}}},
        {"other elements inside Messages are skipped",
         "<C><Version/><Messages><Other a='1'/><Message b='2'/></Messages></C>",
         true,
         "",
         "",
         {{"b", "2"}}},
        {"Version nested deeper does not count",
         "<C><X><Version min='1'/></X><Messages><Message a='1'/></Messages></C>",
         false,
         "",
         "",
         {{"a", "1"}}},
        {"no Version", "<C><Messages><Message a='1'/></Messages></C>", false, "", "", {{"a", "1"}}},
        {"Message elements without attributes",
         "<C><Version min='1'/><Messages><Message/><Message></Message></Messages></C>",
         false,
         "1",
         "",
         {}},
        {"only a Message outside Messages", "<C><Version/><Message a='1'/></C>", false, "", "", {}},
        {"no Messages", "<C><Version/></C>", false, "", "", {}},
    };
    for (const LoadCase& c : cases) {
        TiXmlDocument document;
        std::string xml = std::string(kHead) + c.xml;
        ASSERT_TRUE(document.Parse(xml.c_str()) != nullptr || !document.Error()) << c.name;
        std::string minVersion;
        std::string maxVersion;
        MessageTable messages;
        EXPECT_EQ(ReadConfigDocument(document, minVersion, maxVersion, messages), c.loads)
            << c.name;
        EXPECT_EQ(minVersion, c.minVersion) << c.name;
        EXPECT_EQ(maxVersion, c.maxVersion) << c.name;
        EXPECT_EQ(messages, c.messages) << c.name;
    }
}

TEST(ReadConfigDocument, EmptyDocumentHasNoRoot) {
    TiXmlDocument document;
    std::string minVersion = "kept";
    std::string maxVersion;
    MessageTable messages;
    EXPECT_FALSE(ReadConfigDocument(document, minVersion, maxVersion, messages));
    EXPECT_EQ(minVersion, "kept");
}

}  // namespace
