#include "log/upgrade_log.h"

#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempFolder;

class UpgradeLogTest : public ::testing::Test {
protected:
    void TearDown() override { UpgradeLog::Close(); }
    TempFolder folder;
};

TEST_F(UpgradeLogTest, LandsInTheFolderOrItsParent) {
    testing_support::MakeFolder(folder / "Orvexa");
    struct Case {
        std::string location;
        std::string expected;
    } cases[] = {
        {folder / "Orvexa\\", folder / "Orvexa\\RIZezuvu.log"},
        {folder / "Orvexa", folder / "RIZezuvu.log"},
        {folder / "Orvexa\\Orvexa.exe", folder / "Orvexa\\RIZezuvu.log"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(UpgradeLog::Open(c.location.c_str()), 1) << c.location;
        UpgradeLog::Write("%s", "x");
        UpgradeLog::Close();
        EXPECT_TRUE(testing_support::Exists(c.expected)) << c.location;
        ::DeleteFileA(c.expected.c_str());
    }
}

TEST_F(UpgradeLogTest, EmptyLocationMeansTheCurrentFolder) {
    char previous[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(folder.Path().c_str()));
    int opened = UpgradeLog::Open("");
    UpgradeLog::Close();
    ::SetCurrentDirectoryA(previous);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(testing_support::Exists(folder / "RIZezuvu.log"));
}

TEST_F(UpgradeLogTest, DriveRootKeepsItsBackslash) {
    // "C:\" and "C:\Orvexa" both put the log at the root of the drive.
    char windows[MAX_PATH];
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    std::string root = std::string(windows, 3);  // "C:\"
    std::string log = root + "RIZezuvu.log";
    bool existed = testing_support::Exists(log);
    ASSERT_FALSE(existed) << "a log at the drive root is in the way";
    for (std::string location : {root, root + "Orvexa"}) {
        ASSERT_EQ(UpgradeLog::Open(location.c_str()), 1) << location;
        UpgradeLog::Close();
        EXPECT_TRUE(testing_support::Exists(log)) << location;
        ::DeleteFileA(log.c_str());
    }
}

TEST_F(UpgradeLogTest, WorkedExamplesAreStoredInTextMode) {
    std::string location = folder.Path() + "\\";
    ASSERT_EQ(UpgradeLog::Open(location.c_str()), 1);
    EXPECT_EQ(UpgradeLog::Write("Copy file failed %s...", "skin.dat"), 1);
    EXPECT_EQ(UpgradeLog::Write("Directory not found %s...\n", "C:\\Program Files\\Orvexa\\skins"),
              1);
    EXPECT_EQ(UpgradeLog::Write("System Error: %s\n", "Access denied.\r\n"), 1);
    EXPECT_EQ(UpgradeLog::Write("%s", "a\rb"), 1);
    UpgradeLog::Close();

    std::string bytes = ReadFileBytes(folder / "RIZezuvu.log");
    std::string stamp = testing_support::kLogStampPattern;
    std::regex expected(
        stamp + "Copy file failed skin\\.dat\\.\\.\\.\r\n" + stamp +
        "Directory not found C:\\\\Program Files\\\\Orvexa\\\\skins\\.\\.\\.\r\n\r\n" + stamp +
        "System Error: Access denied\\.\r\r\n\r\n\r\n" + stamp + "a\rb\r\n");
    EXPECT_TRUE(std::regex_match(bytes, expected)) << bytes;
    // The first line: 57 characters, then CR LF.
    EXPECT_EQ(bytes.find("\r\n"), 57u);
}

TEST_F(UpgradeLogTest, ReopensAReadOnlyLogAndKeepsItsLines) {
    std::string log = folder / "RIZezuvu.log";
    testing_support::WriteFileBytes(log, "old line\r\n");
    ASSERT_TRUE(::SetFileAttributesA(log.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(UpgradeLog::Open((folder.Path() + "\\").c_str()), 1);
    UpgradeLog::Write("%s", "new line");
    UpgradeLog::Close();
    std::string bytes = ReadFileBytes(log);
    EXPECT_EQ(bytes.substr(0, 10), "old line\r\n");
    EXPECT_TRUE(std::regex_match(
        bytes.substr(10),
        std::regex(std::string(testing_support::kLogStampPattern) + "new line\r\n")))
        << bytes;
    EXPECT_EQ(testing_support::Attributes(log) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              0u);
}

TEST_F(UpgradeLogTest, WritesWhileClosedDoNothing) {
    EXPECT_EQ(UpgradeLog::Write("%s", "lost"), 0);
    EXPECT_EQ(UpgradeLog::WriteConfigured("%s", "lost"), 0);

    std::string missing = folder / "missing\\";
    EXPECT_EQ(UpgradeLog::Open(missing.c_str()), 0);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(UpgradeLog::Write("%s", "lost"), 0);
    EXPECT_FALSE(testing_support::Exists(folder / "missing"));
}

TEST_F(UpgradeLogTest, HeldOpenForWritingByAnotherFails) {
    std::string log = folder / "RIZezuvu.log";
    HANDLE other = ::CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(UpgradeLog::Open((folder.Path() + "\\").c_str()), 0);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ::CloseHandle(other);
}

TEST_F(UpgradeLogTest, OthersMayReadButNotWriteWhileOpen) {
    std::string log = folder / "RIZezuvu.log";
    ASSERT_EQ(UpgradeLog::Open((folder.Path() + "\\").c_str()), 1);
    HANDLE reader = ::CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);
    HANDLE writer = ::CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
}

TEST_F(UpgradeLogTest, TooLongLocationFails) {
    std::string location = folder.Path() + "\\" + std::string(250, 'a') + "\\";
    EXPECT_EQ(UpgradeLog::Open(location.c_str()), 0);
    EXPECT_EQ(UpgradeLog::Write("%s", "lost"), 0);
}

TEST_F(UpgradeLogTest, ConfiguredTextsNeverReachPrintf) {
    ASSERT_EQ(UpgradeLog::Open((folder.Path() + "\\").c_str()), 1);
    EXPECT_EQ(UpgradeLog::WriteConfigured("Update tool %s started.", "1.6.0.0"), 1);
    EXPECT_EQ(UpgradeLog::WriteConfigured("%n%d %s %s 100%%", "1.6.0.0"), 1);
    UpgradeLog::WriteConfigured(std::string(3000, 'y').c_str(), "");
    UpgradeLog::Close();
    bool stamped = false;
    std::string lines =
        testing_support::StripStamps(ReadFileBytes(folder / "RIZezuvu.log"), &stamped);
    EXPECT_TRUE(stamped);
    EXPECT_EQ(lines, "Update tool 1.6.0.0 started.\n%n%d 1.6.0.0 %s 100%\n" +
                         std::string(1023, 'y') + "\n");
}

TEST_F(UpgradeLogTest, WritingKeepsTheCallersLastError) {
    ASSERT_EQ(UpgradeLog::Open((folder.Path() + "\\").c_str()), 1);
    ::SetLastError(ERROR_ACCESS_DENIED);
    UpgradeLog::Write("%s", std::string(5000, 'z').c_str());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
