// The install journal's own rules: the record's format read back, the order
// of its steps, the path rules its lines must pass, and the lock name.
// What the journal does to files is tested through the copy that ships
// (content_install_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/content_install.h"
#include "install/install_journal.h"

namespace {

std::string Steps(const std::vector<JournalLine>& lines) {
    std::string text;
    for (const JournalLine& line : lines) {
        text += line.moved ? "moved " + std::to_string(line.index) + " " : std::string("added ");
        text += line.target + ";";
    }
    return text;
}

const char kHeader[] = "RIZezuvu journal 2\nproduct {P}\nfolder C:\\Orvexa\\\n";

TEST(JournalRecordTest, ReadsBackTheOrderStepsWereTaken) {
    JournalRecord record;
    ASSERT_TRUE(ParseJournalRecord(std::string(kHeader) +
                                       "moved 1 update.bin\n"          // declared 1
                                       "added Skins\\a.skin\n"         // declared 2
                                       "moved 2 update.bin\n"          // declared 3
                                       "after 0 moved 3 update.bin\n"  // a purge first
                                       "instead 1 added update.bin\n"  // then copy 1, as found
                                       "after 2 moved 4 update.bin\n"  // a purge after copy 2
                                       "instead 3 added update.bin\n"
                                       "after 3 moved 5 torn",
                                   record, nullptr));
    EXPECT_TRUE(record.complete);
    EXPECT_EQ(record.owner.productCode, "{P}");
    EXPECT_EQ(record.owner.folder, "C:\\Orvexa\\");
    EXPECT_EQ(Steps(StepsInTakenOrder(record.lines)),
              "moved 3 update.bin;added update.bin;added Skins\\a.skin;moved 4 update.bin;"
              "added update.bin;");
}

TEST(JournalRecordTest, TornHeadersHoldNoStepAndForeignTextIsRefused) {
    struct Case {
        std::string text;
        bool parses;
        bool complete;
    } cases[] = {
        {"", true, false},
        {"RIZez", true, false},
        {std::string("RIZezuvu journal 2\nprod"), true, false},
        {std::string("RIZezuvu journal 2\nproduct {P}\n"), true, false},
        {std::string(kHeader), true, true},
        {std::string(kHeader) + "added a\n" + std::string(64, '\0'), true, true},
        {std::string(40, '\0'), true, false},
        // The first format: steps in record order, no owner.
        {"RIZezuvu journal 1\nadded a\nmoved 7 b\\c\nmoved 8 torn", true, true},
        {"not a journal", false, false},
        {"RIZezuvu journal 3\n", false, false},
        {std::string(kHeader) + "removed a\n", false, false},
        {std::string(kHeader) + "moved x a\n", false, false},
        {std::string(kHeader) + "moved 0 a\n", false, false},
        {std::string(kHeader) + "moved 3a\n", false, false},
        {std::string(kHeader) + "added \n", false, false},
        {std::string(kHeader) + "added ..\\..\\Windows\\x\n", false, false},
        {std::string(kHeader) + "added C:\\Windows\\x\n", false, false},
        {std::string(kHeader) + "added .RIZezuvu-journal\\0\\1.old\n", false, false},
        {std::string(kHeader) + "moved 99999999999 a\n", false, false},
        {std::string(kHeader) + "after 1 added a\n", false, false},  // no declared step 1
        {std::string(kHeader) + "added a\ninstead 1 added a\ninstead 1 added a\n", false, false},
        {std::string(kHeader) + "after 0 added a\nadded b\n", false, false},  // declared late
        {"RIZezuvu journal 2\nfolder C:\\\nproduct {P}\n", false, false},
    };
    for (const Case& c : cases) {
        JournalRecord record;
        EXPECT_EQ(ParseJournalRecord(c.text, record, nullptr), c.parses) << c.text;
        if (c.parses) {
            EXPECT_EQ(record.complete, c.complete) << c.text;
        }
    }
}

bool ShiftJisLead(unsigned char c) { return c >= 0x81 && c <= 0x9F; }

TEST(JournalRecordTest, ALineOfTheRecordPassesTheConfigurationsPathRule) {
    // In a double-byte code page 0x5C can be the second byte of a character:
    // with the lead byte known, "\x95\\.." is one name, and only the last
    // ".." climbs back out of it.
    EXPECT_TRUE(IsContainedRelativePath("\x95\\..\\..", &ShiftJisLead));
    EXPECT_FALSE(IsContainedRelativePath("\x95\\..\\..\\..", &ShiftJisLead));
    // Read byte by byte, the same text climbs out.
    EXPECT_FALSE(IsContainedRelativePath("\x95\\..\\..", nullptr));
    // A record's line passes the same rule as a configuration path: what the
    // plan accepted and the journal wrote reads back.
    JournalRecord record;
    std::string text = std::string(kHeader) + "added \x95\\..\\..\\x\n";
    EXPECT_TRUE(ParseJournalRecord(text, record, &ShiftJisLead));
    EXPECT_FALSE(ParseJournalRecord(text, record, nullptr));
}

TEST(JournalRecordTest, TheJournalsFoldersAreNotTargets) {
    for (const char* path :
         {".RIZezuvu-journal\\0\\1.old", ".rizezuvu-JOURNAL", ".\\.RIZezuvu-journal\\x",
          ".RIZezuvu-journal-2\\journal.txt", ".RIZezuvu-journal.\\x", ".RIZezuvu-set-aside-1\\x"})
        EXPECT_TRUE(IsJournalFolderName(path, nullptr)) << path;
    for (const char* path : {"Skins\\.RIZezuvu-journal", "RIZezuvu-journal", "a.dll", ".RIZezu"})
        EXPECT_FALSE(IsJournalFolderName(path, nullptr)) << path;
}

// An entry of the data files: "kept N SIZE ATTRIBUTES LASTWRITE CHECK", its
// bytes, a line feed. CHECK is a CRC-32C; earlier versions wrote a SHA-256,
// which still reads. Bytes that don't match their check (a crash left them
// zero-filled, or they changed) refuse the whole file; a tail cut short was
// never referred to and is left out.
TEST(JournalRecordTest, KeptEntriesReadBackOnlyWithBytesMatchingTheirCheck) {
    const std::string abc = "kept 1 3 32 7 364b3fb7\nabc\n";
    const std::string abcEarlier =
        "kept 2 3 0 0 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\nabc\n";
    const std::string empty = "kept 3 0 1 0 00000000\n\n";
    struct Case {
        std::string text;
        bool parses;
        size_t entries;
    };
    const Case cases[] = {
        {abc + abcEarlier + empty, true, 3},
        {"kept 1 3 32 7 364B3FB7\nabc\n", true, 1},
        {"kept 1 3 32 7 364b3fb7\nabd\n", false, 0},
        {std::string("kept 1 3 32 7 364b3fb7\n") + std::string(3, '\0') + "\n", false, 0},
        {"kept 2 3 0 0 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\nabd\n",
         false, 0},
        {"kept 1 3 32 7 364b3fb\nabc\n", false, 0},
        {"kept 1 3 32 7 364b3fbg\nabc\n", false, 0},
        {"kept 1 3 32 7 +64b3fb7\nabc\n", false, 0},
        {abc + "kept 2 3 0 0 364b3fb7\nab", true, 1},
        {abc + "kept 2 3 0 0 364b", true, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<unsigned, KeptFile>> entries;
        EXPECT_EQ(ParseKeptEntries(c.text, entries), c.parses) << c.text;
        if (!c.parses) continue;
        ASSERT_EQ(entries.size(), c.entries) << c.text;
        EXPECT_EQ(entries[0].second.bytes, "abc");
    }
    std::vector<std::pair<unsigned, KeptFile>> entries;
    ASSERT_TRUE(ParseKeptEntries(abc + abcEarlier + empty, entries));
    EXPECT_EQ(entries[0].first, 1u);
    EXPECT_EQ(entries[0].second.attributes, 32u);
    EXPECT_EQ(entries[0].second.lastWrite, 7u);
    EXPECT_EQ(entries[1].first, 2u);
    EXPECT_EQ(entries[1].second.bytes, "abc");
    EXPECT_EQ(entries[2].first, 3u);
    EXPECT_EQ(entries[2].second.bytes, "");
}

TEST(InstallationLockTest, OneNamePerFolderWhateverItsSpelling) {
    std::string name = InstallationLockName("C:\\Program Files\\Orvexa\\");
    EXPECT_EQ(name.compare(0, 7, "Global\\"), 0);
    EXPECT_EQ(name.find('\\', 7), std::string::npos);
    EXPECT_EQ(name, InstallationLockName("c:\\PROGRAM FILES\\orvexa\\"));
    EXPECT_EQ(name, InstallationLockName("C:/Program Files/Orvexa/"));
    EXPECT_EQ(name, InstallationLockName("C:\\Program Files\\Orvexa"));
    EXPECT_NE(name, InstallationLockName("C:\\Program Files\\Orvexa2\\"));
}

}  // namespace
