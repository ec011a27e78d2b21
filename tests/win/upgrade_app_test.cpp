// The application object's own operations that show nothing modal: the
// status window's show and hide, and the failure report's silent case.
#include "app/upgrade_app.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "app/status_progress.h"
#include "log/upgrade_log.h"
#include "platform/window_services.h"
#include "resource.h"
#include "ui/msg_dialog.h"
#include "test_support.h"

extern COVUpgradeApp theApp;

namespace {

TEST(ShowStatus, HideWithoutAWindowDoesNothing) {
    ASSERT_EQ(theApp.m_statusDlg.GetSafeHwnd(), nullptr);
    theApp.ShowStatus(false);
    theApp.ShowStatus(false);
    EXPECT_EQ(theApp.m_statusDlg.GetSafeHwnd(), nullptr);
}

TEST(ShowStatus, ShowsPaintsPausesThenGoes) {
    DWORD before = ::GetTickCount();
    theApp.ShowStatus(true);
    DWORD after = ::GetTickCount();
    HWND window = theApp.m_statusDlg.GetSafeHwnd();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_GE(after - before, 1000u);

    ::SetLastError(ERROR_FILE_NOT_FOUND);
    theApp.ShowStatus(false);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(theApp.m_statusDlg.GetSafeHwnd(), nullptr);
}

// The bar follows the bytes copied over the bytes planned, never past full,
// and is full at the end whatever was planned (nothing at all included).
TEST(StatusProgress, TheBarFollowsTheBytesAndEndsFull) {
    CStatusDlg dialog(nullptr);
    ASSERT_TRUE(dialog.Create(IDD_STATUS, nullptr));
    HWND bar = dialog.GetDlgItem(IDC_STATUS_PROGRESS);
    ASSERT_NE(bar, nullptr);
    auto position = [bar]() { return static_cast<int>(::SendMessageA(bar, PBM_GETPOS, 0, 0)); };
    EXPECT_EQ(::SendMessageA(bar, PBM_GETRANGE, FALSE, 0), CStatusDlg::kProgressRange);
    EXPECT_EQ(position(), 0);
    {
        StatusProgress progress(dialog);
        progress.Planned(0);
        EXPECT_EQ(position(), CStatusDlg::kProgressRange);
    }
    StatusProgress progress(dialog);
    progress.Planned(4000);
    EXPECT_EQ(position(), 0);
    progress.Copied(1000);
    EXPECT_EQ(position(), 250);
    progress.Copied(0);
    EXPECT_EQ(position(), 250);
    progress.Copied(5000);  // a source that grew since it was planned
    EXPECT_EQ(position(), CStatusDlg::kProgressRange);
    progress.Planned(3000);
    progress.Copied(1000);
    progress.Finished();  // a file that shrank
    EXPECT_EQ(position(), CStatusDlg::kProgressRange);
    dialog.DestroyWindow();
}

// Enter, Escape and a close request end nothing: the window goes only when
// the application destroys it.
TEST(StatusProgress, ACloseRequestLeavesTheWindow) {
    CStatusDlg dialog(nullptr);
    ASSERT_TRUE(dialog.Create(IDD_STATUS, nullptr));
    HWND window = dialog.GetSafeHwnd();
    ::SendMessageA(window, WM_CLOSE, 0, 0);
    ::SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
    ::SendMessageA(window, WM_COMMAND, IDOK, 0);
    platform::ServePendingMessages();
    EXPECT_TRUE(::IsWindow(window));
    dialog.DestroyWindow();
    EXPECT_FALSE(::IsWindow(window));
}

TEST(ReportFailure, CodeWithoutSystemTextShowsAndLogsNothing) {
    testing_support::TempFolder folder;
    ASSERT_EQ(UpgradeLog::Open((folder.Path() + "\\").c_str()), 1);
    // A customer-defined code: the system has no text for it, so no box is
    // shown (a box would block this test until its timeout).
    ::SetLastError(0x2000ABCD);
    theApp.ReportFailure();
    UpgradeLog::Close();
    EXPECT_EQ(testing_support::ReadFileBytes(folder / "RIZezuvu.log"), "");
}

TEST(Framework, RunTimeClassNames) {
    EXPECT_STREQ(theApp.GetRuntimeClassName(), "COVUpgradeApp");
    EXPECT_STREQ(theApp.m_statusDlg.GetRuntimeClassName(), "CStatusDlg");
    EXPECT_EQ(CWinApp::Current(), &theApp);
}

TEST(Framework, MessageDialogRoutesItsTwoButtons) {
    CMsg dialog(nullptr, TRUE, FALSE);
    EXPECT_STREQ(dialog.GetRuntimeClassName(), "CMsg");
    EXPECT_TRUE(dialog.m_strText.empty());
    EXPECT_TRUE(dialog.m_strCaption.empty());
    EXPECT_NE(dialog.m_hIcon, nullptr);
    const MessageMap* map = dialog.GetMessageMap();
    ASSERT_EQ(map->count, 2u);
    EXPECT_EQ(map->base, nullptr);
    EXPECT_EQ(map->entries[0].controlId, IDC_DOWNLOAD);
    EXPECT_EQ(map->entries[0].notification, BN_CLICKED);
    EXPECT_EQ(map->entries[1].controlId, ID_HELP);
    EXPECT_EQ(map->entries[1].notification, BN_CLICKED);
}

}  // namespace
