// Holds a file open for writing (others may only read it) until ended, so a
// test can see what the program does when its log is taken.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) return 64;
    HANDLE file = ::CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    ::Sleep(INFINITE);
    ::CloseHandle(file);
    return 0;
}
