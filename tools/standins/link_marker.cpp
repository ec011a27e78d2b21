// Used as a configured link in tests: when the shell starts it, it appends a
// line to "<its own path>.started" and ends, so a test can tell that the link
// was opened and how often.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    char path[MAX_PATH + 16];
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::strcat(path, ".started");
    HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(file, "started ", 8, &written, nullptr);
    ::WriteFile(file, commandLine, static_cast<DWORD>(std::strlen(commandLine)), &written, nullptr);
    ::WriteFile(file, "\r\n", 2, &written, nullptr);
    ::CloseHandle(file);
    return 0;
}
