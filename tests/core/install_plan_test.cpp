// The plan's copies carry the folder the journal holds and checks before
// anything is written: it must be the folder the target really lies in, as
// the file system reads the path, whatever the group's dir looks like.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_limits.h"
#include "install/install_plan.h"
#include "tests/shift_jis.h"
#include "tinyxml.h"

TEST(InstallPlanTest, EachCopysFolderIsTheOneItsTargetLiesIn) {
    const char* dirs[] = {
        "",
        "Skins",
        "Skins\\",
        "a\\.\\b",
        "a/b",
        // Shift-JIS "機能": its second character ends in 0x5C, the byte of a
        // backslash, so the group's folder text ends in what looks like one.
        "Plugins\\\x8B\x40\x94\x5C",
    };
    for (const char* dir : dirs) {
        std::string xml = std::string("<OVConfig><Upgrade><Product id='000000'><G dir='") + dir +
                          "'><File name='a.dll'/></G></Product></Upgrade></OVConfig>";
        TiXmlDocument document;
        ASSERT_TRUE(ParseConfigText(xml, document)) << dir;
        for (LeadBytePredicate isLeadByte : {static_cast<LeadBytePredicate>(nullptr),
                                             static_cast<LeadBytePredicate>(&ShiftJisLeadByte)}) {
            std::vector<std::vector<PlanStep>> plans =
                PlanEntries(document, "123456", "C:\\Orvexa\\", "C:\\Package\\", isLeadByte);
            std::vector<const PlanStep*> copies = CopiesBeforeFirstFault(plans);
            ASSERT_EQ(copies.size(), 1u) << dir;
            EXPECT_EQ(copies[0]->folder, FolderOfPath(copies[0]->target, isLeadByte))
                << dir << " " << copies[0]->target;
        }
    }
}
