// Window, message-box and shell operations used by the program's dialogs and
// boxes. Thin: results are the system's, last-error codes are left in place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace platform {

// A modal message box; answers the button pressed (IDOK, IDCANCEL, ...).
int ShowMessageBox(HWND owner, const char* text, const char* caption, unsigned flags);

HWND ForegroundWindow();

// Loads common controls 6 for the manifest's visual styles.
void InitCommonControlsLibrary();

// Icon `id` of the program's own resources at the standard large-icon size.
HICON LoadProgramIcon(int id);

// Text of the system's message for `code`, as the system gives it (with its
// line break); false when the system has no text for the code.
bool SystemErrorText(DWORD code, std::string& text);

// Hands `link` to the shell's "open" verb with the given show command.
void ShellOpen(const char* link, int showCommand);

// Waits `milliseconds` on the user-interface thread while serving its
// windows' messages as they arrive, so that a shown window stays responsive.
void PauseServingMessages(unsigned milliseconds);

// Dispatches every message waiting for the thread's windows, and returns.
void ServePendingMessages();

// The program's command-line arguments after its own name, as the C runtime
// splits them (quotes group, backslashes before a quote escape it).
std::vector<std::string> CommandArguments();

}  // namespace platform
