// The floor for the start-up benchmark: a Win32 program that shows one
// message box at once and does nothing else.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::MessageBoxA(nullptr, "bare", "bare", MB_OK);
    return 0;
}
