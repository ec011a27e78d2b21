#include "config/update_context.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testing_support::TempFolder;

const char kValidConfig[] =
    "<?xml version='1.0'?>\n<OVConfig><Version min='1.6.00.1' max='1.6.00.999'/>"
    "<Messages><Message title='Orvexa Update' askuser='Continue?'/></Messages></OVConfig>\n";

// A context whose package folder is a temporary folder of the test.
struct PackageContext {
    explicit PackageContext(const std::string& folder) {
        context.programFolder = folder;
        context.configPath = folder + "\\OVConfig.xml";
    }
    UpdateContext context;
};

TEST(UpdateContext, FindsItsOwnFolderNotTheWorkingFolder) {
    char previous[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    TempFolder elsewhere;
    ::SetCurrentDirectoryA(elsewhere.Path().c_str());
    UpdateContext context;
    ::SetCurrentDirectoryA(previous);

    EXPECT_EQ(context.programFolder, testing_support::ProgramFolder());
    EXPECT_EQ(context.configPath, testing_support::ProgramFolder() + "\\OVConfig.xml");
    EXPECT_TRUE(context.minVersion.empty());
    EXPECT_TRUE(context.maxVersion.empty());
    EXPECT_TRUE(context.messages.empty());
    EXPECT_GE(context.messages.bucket_count(), kMessageTableBuckets);
}

TEST(UpdateContext, LoadsAValidFile) {
    TempFolder folder;
    testing_support::WriteFileBytes(folder / "OVConfig.xml", kValidConfig);
    PackageContext package(folder.Path());
    ASSERT_TRUE(package.context.LoadConfig());
    EXPECT_EQ(package.context.minVersion, "1.6.00.1");
    EXPECT_EQ(package.context.maxVersion, "1.6.00.999");
    ASSERT_NE(package.context.document.RootElement(), nullptr);
}

TEST(UpdateContext, FailuresLeaveAReasonInTheLastError) {
    struct Case {
        const char* name;
        const char* content;  // null: no file
        DWORD error;
    } cases[] = {
        {"missing file", nullptr, ERROR_FILE_NOT_FOUND},
        {"not well-formed", "<OVConfig><Version></OVConfig>", ERROR_INVALID_DATA},
        {"empty file", "", ERROR_INVALID_DATA},
        {"no root element", "<?xml version='1.0'?>\n<!-- nothing -->", ERROR_INVALID_DATA},
        {"no Version", "<C><Messages><Message a='1'/></Messages></C>", ERROR_INVALID_DATA},
        {"messages without attributes", "<C><Version/><Messages><Message/></Messages></C>",
         ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        if (c.content != nullptr)
            testing_support::WriteFileBytes(folder / "OVConfig.xml", c.content);
        PackageContext package(folder.Path());
        ::SetLastError(0);
        EXPECT_FALSE(package.context.LoadConfig()) << c.name;
        EXPECT_EQ(::GetLastError(), c.error) << c.name;
    }
}

TEST(UpdateContext, LockedFileKeepsTheSystemsCode) {
    TempFolder folder;
    std::string path = folder / "OVConfig.xml";
    testing_support::WriteFileBytes(path, kValidConfig);
    HANDLE locked =
        ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    PackageContext package(folder.Path());
    EXPECT_FALSE(package.context.LoadConfig());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ::CloseHandle(locked);
}

TEST(UpdateContext, LookupMessageHitMissAndUntouchedOutput) {
    TempFolder folder;
    testing_support::WriteFileBytes(folder / "OVConfig.xml", kValidConfig);
    PackageContext package(folder.Path());
    ASSERT_TRUE(package.context.LoadConfig());

    std::string text = "previous";
    EXPECT_TRUE(package.context.LookupMessage("title", text));
    EXPECT_EQ(text, "Orvexa Update");
    EXPECT_FALSE(package.context.LookupMessage("Title", text));
    EXPECT_FALSE(package.context.LookupMessage("ovrunning", text));
    EXPECT_EQ(text, "Orvexa Update");

    UpdateContext empty;
    std::string untouched = "kept";
    EXPECT_FALSE(empty.LookupMessage("title", untouched));
    EXPECT_EQ(untouched, "kept");
}

}  // namespace
