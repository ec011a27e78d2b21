// The install journal's own rules: the record's format read back, the order
// of its steps, the path rules its lines must pass, and the lock name.
// What the journal does to files is tested through the copy that ships
// (content_install_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/content_install.h"
#include "install/journal_names.h"
#include "install/journal_record.h"
#include "platform/named_lock.h"

namespace {

std::string Steps(const std::vector<JournalLine>& lines) {
    std::string text;
    for (const JournalLine& line : lines) {
        text += (line.moved ? "moved " : "added ") + std::to_string(line.index) + " ";
        text += line.target + ";";
    }
    return text;
}

const char kHeader[] = "RIZezuvu journal 3\nproduct {P}\nfolder C:\\Orvexa\\\n";

TEST(JournalRecordTest, ReadsBackTheOrderStepsWereTaken) {
    JournalRecord record;
    ASSERT_TRUE(ParseJournalRecord(std::string(kHeader) +
                                       "moved 1 update.bin\n"            // declared 1
                                       "added 2 Skins\\a.skin\n"         // declared 2
                                       "moved 3 update.bin\n"            // declared 3
                                       "after 0 moved 4 update.bin\n"    // a purge first
                                       "instead 1 added 5 update.bin\n"  // then copy 1, as found
                                       "after 2 moved 6 update.bin\n"    // a purge after copy 2
                                       "instead 3 added 7 update.bin\n"
                                       "after 3 moved 8 torn",
                                   record, nullptr));
    EXPECT_TRUE(record.complete);
    EXPECT_EQ(record.owner.productCode, "{P}");
    EXPECT_EQ(record.owner.folder, "C:\\Orvexa\\");
    EXPECT_EQ(Steps(StepsInTakenOrder(record.lines)),
              "moved 4 update.bin;added 5 update.bin;added 2 Skins\\a.skin;moved 6 update.bin;"
              "added 7 update.bin;");
}

TEST(JournalRecordTest, TornHeadersHoldNoStepAndForeignTextIsRefused) {
    struct Case {
        std::string text;
        bool parses;
        bool complete;
    } cases[] = {
        {"", true, false},
        {"RIZez", true, false},
        {std::string("RIZezuvu journal 3\nprod"), true, false},
        {std::string("RIZezuvu journal 3\nproduct {P}\n"), true, false},
        {std::string(kHeader), true, true},
        {std::string(kHeader) + "added 1 a\n" + std::string(64, '\0'), true, true},
        {std::string(40, '\0'), true, false},
        // A last write torn by a power loss: a sector amid it never written.
        {std::string(kHeader) + "added 1 a\n" + std::string(16, '\0') + "ded 2 b\nadded 3 c\n",
         true, true},
        {std::string("RIZezuvu journal 3\n") + std::string(16, '\0') + "folder C:\\\n", true,
         false},
        {"not a journal", false, false},
        {"RIZezuvu journal 4\n", false, false},
        {std::string(kHeader) + "added a\n", false, false},
        {std::string(kHeader) + "removed a\n", false, false},
        {std::string(kHeader) + "moved x a\n", false, false},
        {std::string(kHeader) + "moved 0 a\n", false, false},
        {std::string(kHeader) + "moved 3a\n", false, false},
        {std::string(kHeader) + "added 1 \n", false, false},
        {std::string(kHeader) + "added 1 ..\\..\\Windows\\x\n", false, false},
        {std::string(kHeader) + "added 1 C:\\Windows\\x\n", false, false},
        {std::string(kHeader) + "added 1 .RIZezuvu-journal\\0\\1.old\n", false, false},
        {std::string(kHeader) + "moved 99999999999 a\n", false, false},
        {std::string(kHeader) + "after 1 added 1 a\n", false, false},  // no declared step 1
        {std::string(kHeader) + "added 1 a\ninstead 1 added 2 a\ninstead 1 added 3 a\n", false,
         false},
        {std::string(kHeader) + "after 0 added 1 a\nadded 2 b\n", false, false},  // declared late
        {"RIZezuvu journal 3\nfolder C:\\\nproduct {P}\n", false, false},
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
    std::string text = std::string(kHeader) + "added 1 \x95\\..\\..\\x\n";
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
