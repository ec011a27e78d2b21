// Window, message-box and shell operations used by the program's dialogs and
// boxes. Thin: results are the system's, last-error codes are left in place.
#pragma once

#include <windows.h>

#include "platform/handles.h"

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

// The dots per inch the system draws `window` at (96 at 100 %).
unsigned WindowDpi(HWND window);

// Gives each icon control of `dialog` the program's icon `id` drawn at the
// size the dialog's dpi asks for (32 pixels at 96 dpi), from the image of
// that size in the icon or the nearest one scaled. `icon` keeps it for as
// long as the dialog shows it.
void FitDialogIcons(HWND dialog, int id, IconHandle& icon);

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
