// Holds a file the way another program would while an update runs, until it
// is ended: "load PATH" maps it as a DLL (LoadLibrary), "open PATH" opens it
// for reading and writing and shares it with no one. Once it holds the file
// it creates MARKER (given last), so that a test waits for that instead of a
// time. Ends with the system's code, and no marker, when it can't.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) return 64;
    const char* how = argv[1];
    const char* path = argv[2];
    if (std::strcmp(how, "load") == 0) {
        if (::LoadLibraryA(path) == nullptr) return static_cast<int>(::GetLastError());
    } else if (std::strcmp(how, "open") == 0) {
        HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
    } else {
        return 64;
    }
    HANDLE marker = ::CreateFileA(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
    ::CloseHandle(marker);
    ::Sleep(INFINITE);
    return 0;
}
