// Stands in for the media player in tests: a process that idles until it is
// ended. Installed by the fixture packages as Orvexa.exe.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::Sleep(INFINITE);
    return 0;
}
