// Opens one of the program's dialogs on its own, with the message table of the
// OVConfig.xml beside this executable, so the automation driver can check the
// dialogs one by one.
//
//   dialog_viewer msg DOWNLOAD HELP TEXTKEY   CMsg with the flags (0 or 1); the
//                                            text and the "title" caption are
//                                            looked up; exit code = DoModal's
//   dialog_viewer status MILLISECONDS        the status window, shown, painted,
//                                            kept for that long, then removed;
//                                            exit code 1 when it can't be created
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "config/message_keys.h"
#include "config/update_context.h"
#include "platform/window_services_win.h"
#include "resource.h"
#include "ui/msg_dialog_win.h"
#include "ui/status_dialog_win.h"
#include "platform/message_loop.h"

namespace {

// The texts of `context`'s message table, as the program's dialogs get them.
MessageLookup MessagesOf(const UpdateContext& context) {
    return [&context](const char* key) {
        std::string text;
        context.LookupMessage(key, text);
        return text;
    };
}

int ShowMessage(const UpdateContext& context, bool download, bool help, const char* textKey) {
    CMsg dialog(nullptr, download, help, MessagesOf(context));
    context.LookupMessage(textKey, dialog.m_strText);
    context.LookupMessage(message_key::kTitle, dialog.m_strCaption);
    return static_cast<int>(dialog.DoModal());
}

int ShowStatusFor(const UpdateContext& context, unsigned milliseconds) {
    CStatusDlg status(nullptr, MessagesOf(context));
    if (!status.Create(IDD_STATUS, nullptr)) return 1;
    status.ShowWindow(SW_SHOW);
    status.InvalidateRect(TRUE);
    status.UpdateWindow();
    // Part way, as a screenshot during a copy shows it.
    status.SetProgress(CStatusDlg::kProgressRange * 2 / 5);
    platform::PauseServingMessages(milliseconds);
    status.ShowWindow(SW_HIDE);
    status.DestroyWindow();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    UpdateContext context;
    platform::InitCommonControlsLibrary();
    int result = 2;
    if (!context.LoadConfig()) {
        result = 3;
    } else if (__argc == 5 && std::strcmp(__argv[1], "msg") == 0) {
        result =
            ShowMessage(context, std::atoi(__argv[2]) != 0, std::atoi(__argv[3]) != 0, __argv[4]);
    } else if (__argc == 3 && std::strcmp(__argv[1], "status") == 0) {
        result = ShowStatusFor(context, static_cast<unsigned>(std::atoi(__argv[2])));
    }
    return result;
}
