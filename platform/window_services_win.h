// Window, message-box and shell operations used by the program's dialogs and
// boxes. Thin: results are the system's, last-error codes are left in place.
#pragma once

#include <windows.h>

#include "platform/handles_win.h"

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

// Hands `link` to the shell's "open" verb with the given show command, no
// parameters and no folder. The desktop's shell (Explorer) is asked to do
// it, so that what it starts runs at the user's level even when this
// program is elevated; where there is no such shell, this process asks
// the shell itself. Nothing is reported: the caller closes its dialog
// either way. Implemented in shell_open_win.cpp.
void ShellOpen(const char* link, int showCommand);

}  // namespace platform
