// The application object's own operations that show nothing modal: the
// status window's show and hide, and the failure report's silent case.
#include "app/upgrade_app_win.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/status_progress_win.h"
#include "config/config_document.h"
#include "config/message_keys.h"
#include "log/upgrade_log.h"
#include "platform/window_services_win.h"
#include "resource.h"
#include "ui/msg_dialog_win.h"
#include "test_support.h"
#include "platform/message_loop.h"

extern COVUpgradeApp theApp;

namespace {

// A lookup in `table`, as the application gives one to its dialogs.
MessageLookup LookupIn(const MessageTable& table) {
    return [&table](const char* key) {
        auto found = table.find(key);
        return found == table.end() ? std::string() : found->second;
    };
}

const MessageTable kNoMessages;

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
// and is full at the end whatever was planned (nothing at all included). It
// moves when the window is next served, at most every few milliseconds: the
// test waits past that before it looks.
TEST(StatusProgress, TheBarFollowsTheBytesAndEndsFull) {
    CStatusDlg dialog(nullptr, LookupIn(kNoMessages));
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
    // Longer than the pause between two moves, whatever the tick's resolution.
    auto later = []() { ::Sleep(100); };
    StatusProgress progress(dialog);
    progress.Planned(4000);
    EXPECT_EQ(position(), 0);
    progress.Copied(500);
    later();
    progress.Copied(500);
    EXPECT_EQ(position(), 250);
    later();
    progress.Copied(0);
    EXPECT_EQ(position(), 250);
    later();
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
    CStatusDlg dialog(nullptr, LookupIn(kNoMessages));
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

// The run-time names the classes answer, part of the framework's interface.
TEST(Framework, RunTimeClassNames) {
    EXPECT_STREQ(theApp.GetRuntimeClassName(), "COVUpgradeApp");
    EXPECT_STREQ(theApp.m_statusDlg.GetRuntimeClassName(), "CStatusDlg");
    EXPECT_STREQ(CMsg(nullptr, TRUE, FALSE, LookupIn(kNoMessages)).GetRuntimeClassName(), "CMsg");
    EXPECT_EQ(CWinApp::Current(), &theApp);
}

// Pressing each button of the message dialog: Download and Help each open
// their own link (a marker program that notes it was started) and close the
// dialog; OK, and a button the mode doesn't show, close it and open nothing.
TEST(MessageDialog, EachButtonOpensItsOwnLinkAndCloses) {
    testing_support::TempFolder folder;
    char self[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string marker = self;
    marker = marker.substr(0, marker.rfind('\\'));
    marker = marker.substr(0, marker.rfind('\\')) + "\\link_marker.exe";
    const std::string download = folder / "download_marker.exe";
    const std::string help = folder / "help_marker.exe";
    ASSERT_TRUE(::CopyFileA(marker.c_str(), download.c_str(), FALSE)) << marker;
    ASSERT_TRUE(::CopyFileA(marker.c_str(), help.c_str(), FALSE));

    MessageTable messages;
    messages[message_key::kDownloadLink] = download;
    messages[message_key::kHelpLink] = help;
    struct Case {
        BOOL showDownload;
        BOOL showHelp;
        int button;
        const std::string* opens;  // the marker the press starts, or none
    } cases[] = {
        {TRUE, FALSE, IDC_DOWNLOAD, &download},
        {FALSE, TRUE, ID_HELP, &help},
        {TRUE, FALSE, ID_HELP, nullptr},  // hidden in download mode: never opens
        {FALSE, TRUE, IDOK, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        for (const std::string* started : {&download, &help}) {
            ::DeleteFileA((*started + ".started").c_str());
            ASSERT_FALSE(testing_support::Exists(*started + ".started"));
        }
        CMsg dialog(nullptr, c.showDownload, c.showHelp, LookupIn(messages));
        ASSERT_TRUE(dialog.Create(IDD_MSG, nullptr));
        HWND window = dialog.GetSafeHwnd();
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED),
                       reinterpret_cast<LPARAM>(dialog.GetDlgItem(c.button)));
        EXPECT_FALSE(::IsWindow(window));
        if (c.opens != nullptr) {
            EXPECT_TRUE(testing_support::WaitForFile(*c.opens + ".started", 20000));
            // The marker's line is whole once its program is done with the
            // file (the desktop's shell starts it in its own time): only
            // then can the next case delete it.
            std::string line;
            for (int waited = 0; waited < 20000; waited += 50) {
                std::ifstream in(*c.opens + ".started", std::ios::binary);
                line.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
                if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) break;
                ::Sleep(50);
            }
            EXPECT_EQ(line.compare(0, 8, "started "), 0) << line;
        }
        // Whatever the shell would start has had its chance by now.
        for (const std::string* other : {&download, &help}) {
            if (other != c.opens) {
                EXPECT_FALSE(testing_support::Exists(*other + ".started"));
            }
        }
    }
}

}  // namespace
