// Used as a configured link in tests: when the shell starts it, it appends a
// line to "<its own path>.started" and ends, so a test can tell that the link
// was opened, how often, and by which process ("by NAME", the program that
// started it).
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>

namespace {

// The file name of the process that started this one; "?" when unknown.
void ParentName(char* name, size_t size) {
    lstrcpynA(name, "?", static_cast<int>(size));
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    DWORD self = ::GetCurrentProcessId();
    DWORD parent = 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
    }
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more && parent != 0;
         more = ::Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == parent) lstrcpynA(name, entry.szExeFile, static_cast<int>(size));
    }
    ::CloseHandle(snapshot);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    char path[MAX_PATH + 16];
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::strcat(path, ".started");
    // The line is written in one piece, so that a reader sees all of it or
    // none of it.
    char parent[MAX_PATH];
    ParentName(parent, sizeof parent);
    std::string line = std::string("started ") + commandLine + " by " + parent + "\r\n";
    HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
    return 0;
}
