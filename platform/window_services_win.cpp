#include "platform/window_services_win.h"

#include <commctrl.h>

#include <utility>

#include "platform/handles_win.h"
#include "platform/system_library_win.h"

namespace platform {

int ShowMessageBox(HWND owner, const char* text, const char* caption, unsigned flags) {
    return ::MessageBoxA(owner, text, caption, flags);
}

HWND ForegroundWindow() { return ::GetForegroundWindow(); }

void InitCommonControlsLibrary() {
    // The manifest binds version 6 side by side; loading it by name finds that one.
    auto init =
        SystemFunction<decltype(&::InitCommonControls)>("comctl32.dll", "InitCommonControls");
    if (init != nullptr) init();
}

HICON LoadProgramIcon(int id) {
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}

unsigned WindowDpi(HWND window) {
    // Windows 10 tells each window's own dpi; earlier systems have one.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto forWindow = reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (forWindow != nullptr) {
        UINT dpi = forWindow(window);
        if (dpi != 0) return dpi;
    }
    HDC context = ::GetDC(window);
    int dpi = context != nullptr ? ::GetDeviceCaps(context, LOGPIXELSX) : 0;
    if (context != nullptr) ::ReleaseDC(window, context);
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

void FitDialogIcons(HWND dialog, int id, IconHandle& icon) {
    int pixels = ::MulDiv(32, static_cast<int>(WindowDpi(dialog)), 96);
    IconHandle fitted(static_cast<HICON>(::LoadImageA(
        ::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, pixels, pixels, 0)));
    if (!fitted.IsValid()) return;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = "";
        ::GetClassNameA(child, className, sizeof className);
        LONG style = ::GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
            // The control keeps its place and size: its icon is drawn to fit.
            RECT place;
            ::GetWindowRect(child, &place);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
            ::SendMessageA(child, STM_SETICON, reinterpret_cast<WPARAM>(fitted.Get()), 0);
            ::SetWindowPos(child, nullptr, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    icon = std::move(fitted);
}

}  // namespace platform
