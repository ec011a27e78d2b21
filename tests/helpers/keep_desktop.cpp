// Keeps Wine's desktop process up while the end-to-end suites run: one hidden
// window and a message loop, until it is ended. Without it, each program
// start waits about a second for the desktop to come and go.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "RIZezuvuKeepDesktop";
    if (!::RegisterClassA(&windowClass)) return 1;
    HWND window = ::CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1,
                                    nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
    return 0;
}
