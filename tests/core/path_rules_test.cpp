// The path rules of the elevated program, as tables: containment, the
// shapes the shell's join reads its own way, joins and last components.
#include <gtest/gtest.h>

#include <string>

#include "platform/path_rules.h"
#include "tests/shift_jis.h"

namespace {

TEST(PathRulesTest, OnlyPathsThatStayInsideTheirBase) {
    struct Case {
        const char* path;
        bool contained;
    } cases[] = {
        {"a", true},
        {"Skins\\default.skin", true},
        {"a\\..\\b", true},
        {".\\a", true},
        {"a/b", true},
        {"..", false},
        {"..\\x", false},
        {"a\\..\\..\\x", false},
        {"a/../../x", false},
        {"C:x", false},
        {"C:\\Windows\\x", false},
        {"\\windows", false},
        {"/windows", false},
        {"\\\\?\\C:\\x", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"\\\\server\\share", false},
        {"file.txt:stream", false},
        {"", false},
        {"a\nb", false},
        {"...\\x", false},
        {".. \\x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsContainedRelativePath(c.path, nullptr), c.contained) << c.path;
}

TEST(PathRulesTest, PlainPathsAreThoseTheShellJoinsAsWritten) {
    struct Case {
        const char* path;
        bool plain;
    } cases[] = {
        {"a", true},        {"Skins\\default.skin", true},
        {"a\\..\\b", true}, {"a\\\\b", false},
        {"..a", false},     {"a\\..b\\c", false},
        {"a\\.", false},    {"a\\..", false},
        {"..\\x", false},   {"a\\", true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsPlainRelativePath(c.path, nullptr), c.plain) << c.path;
}

// The installation and package folders as the plan's bases: one trailing
// backslash, within the room of a path.
TEST(PathRulesTest, PlanBasesEndInOneBackslashWithinTheRoom) {
    const std::string room(kMaxPathText - 3, 'f');
    const struct {
        std::string folder;
        bool made;
        std::string base;
    } cases[] = {
        {"C:\\Orvexa", true, "C:\\Orvexa\\"},
        {"C:\\Orvexa\\", true, "C:\\Orvexa\\"},
        {"C:\\", true, "C:\\"},
        {"C:\\" + room.substr(1), true, "C:\\" + room.substr(1) + "\\"},  // 259 with it
        {"C:\\" + room, false, ""},                                       // 260 with it
        {"C:\\" + room + "\\", false, ""},                                // 260 with its own
    };
    for (const auto& c : cases) {
        std::string base;
        EXPECT_EQ(MakePlanBase(c.folder, base), c.made) << c.folder;
        if (c.made) {
            EXPECT_EQ(base, c.base) << c.folder;
        }
    }
}

// Separators made backslashes, and a folder's trailing backslash added or
// dropped: only backslashes count at the end ('/' there is the shell's to
// read as part of a name).
TEST(PathRulesTest, SeparatorsAndTrailingBackslashes) {
    const struct {
        const char* path;
        const char* backslashes;
        const char* withTrailing;
        const char* withoutTrailing;
    } cases[] = {
        {"C:\\Orvexa", "C:\\Orvexa", "C:\\Orvexa\\", "C:\\Orvexa"},
        {"C:\\Orvexa\\\\", "C:\\Orvexa\\\\", "C:\\Orvexa\\\\", "C:\\Orvexa"},
        {"Skins/a/b.skin", "Skins\\a\\b.skin", "Skins/a/b.skin\\", "Skins/a/b.skin"},
        {"C:/Orvexa/", "C:\\Orvexa\\", "C:/Orvexa/\\", "C:/Orvexa/"},
        {"C:\\", "C:\\", "C:\\", "C:"},
        {"", "", "\\", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithBackslashes(c.path), c.backslashes) << c.path;
        EXPECT_EQ(WithTrailingBackslash(c.path), c.withTrailing) << c.path;
        EXPECT_EQ(WithoutTrailingBackslashes(c.path), c.withoutTrailing) << c.path;
    }
}

// What an elevated write may reach: inside the folder by whole components,
// ASCII case aside, whatever trailing backslashes the folder is given with.
TEST(PathRulesTest, AFinalPathLiesInsideByWholeComponents) {
    const struct {
        const char* finalPath;
        const char* folder;
        bool orSame;
        bool inside;
    } cases[] = {
        {"C:\\Orvexa\\a.dll", "C:\\Orvexa", false, true},
        {"C:\\Orvexa\\Skins\\a", "C:\\Orvexa\\\\", false, true},
        {"c:\\orvexa\\A.DLL", "C:\\ORVEXA", false, true},
        {"C:\\Orvexa2\\a.dll", "C:\\Orvexa", false, false},
        {"C:\\Orv", "C:\\Orvexa", true, false},
        {"C:\\Other\\a.dll", "C:\\Orvexa", false, false},
        {"C:\\Orvexa", "C:\\Orvexa\\", true, true},
        {"C:\\Orvexa", "C:\\Orvexa\\", false, false},
        {"C:\\a.dll", "C:\\", false, true},
        {"\\\\?\\C:\\Orvexa\\a.dll", "C:\\Orvexa", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FinalPathLiesInside(c.finalPath, c.folder, c.orSame), c.inside)
            << c.finalPath << " in " << c.folder;
    }
}

TEST(PathRulesTest, JoinsResolveDotsAndKeepTheRoom) {
    std::string out;
    ASSERT_TRUE(JoinContainedPath("C:\\Orvexa\\", "Skins\\.\\x\\..\\a.skin", out, nullptr));
    EXPECT_EQ(out, "C:\\Orvexa\\Skins\\a.skin");
    std::string folder = "C:\\" + std::string(kMaxPathText - 4, 'f') + "\\";
    EXPECT_TRUE(JoinContainedPath(folder.substr(0, folder.size() - 2) + "\\", "a", out, nullptr));
    EXPECT_FALSE(JoinContainedPath(folder, "ab", out, nullptr));
    EXPECT_EQ(LastPathComponent("Skins\\deep/default.skin", nullptr), "default.skin");
    EXPECT_EQ(LastPathComponent("plain.dat", nullptr), "plain.dat");
}

}  // namespace

// The folder a path lies in, as the journal holds and flushes it: a
// double-byte character whose second byte is 0x5C ('\') is no separator.
TEST(PathRulesTest, TheFolderOfAPathEndsAtItsLastRealSeparator) {
    const struct {
        const char* path;
        LeadBytePredicate lead;
        const char* folder;
    } cases[] = {
        {"C:\\Orvexa\\Skins\\a.skin", nullptr, "C:\\Orvexa\\Skins"},
        {"C:\\Orvexa/a.dll", nullptr, "C:\\Orvexa"},
        {"a.dll", nullptr, ""},
        {"C:\\Orvexa\\\x95\\.dll", &ShiftJisLeadByte, "C:\\Orvexa"},
        {"C:\\Orvexa\\\x95\\.dll", nullptr, "C:\\Orvexa\\\x95"},
    };
    for (const auto& c : cases) EXPECT_EQ(FolderOfPath(c.path, c.lead), c.folder) << c.path;
}
