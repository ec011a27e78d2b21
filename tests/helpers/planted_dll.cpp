// A DLL that someone might leave beside the program in a download folder:
// when any process loads it, it writes "<its own path>.loaded" and lets the
// load go on. Copied under the names of system libraries by the tests.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 8];
    DWORD length = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcpyA(path + length, ".loaded");
    HANDLE marker = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) ::CloseHandle(marker);
    return TRUE;
}
