// The floor for the start-up benchmark: a bare program that does only what
// the update must do before its consent box, each step the plainest way,
// then shows a box. The program's start is measured against this. It
// carries what the program's manifest must request (required_steps.rc):
// administrator rights and the common controls 6.0.
//   1. load the common controls (InitCommonControls), as the dialogs need;
//   2. load msi.dll from System32, find the products of the upgrade code
//      and ask the one found for its installation folder;
//   3. walk the process list (is Orvexa running?);
//   4. open the log in the installation folder and append a line;
//   5. show the box.
// With "quiet" as its argument it skips step 1 and ends without a box,
// the floor of an unattended run's checks.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    bool quiet = std::strcmp(commandLine, "quiet") == 0;
    if (!quiet) {
        HMODULE controls = ::LoadLibraryExA("comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        auto init = reinterpret_cast<void(WINAPI*)()>(
            reinterpret_cast<void*>(::GetProcAddress(controls, "InitCommonControls")));
        if (init != nullptr) init();
    }
    HMODULE msi = ::LoadLibraryExA("msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (msi == nullptr) return 1;
    auto enumRelated = reinterpret_cast<UINT(WINAPI*)(LPCSTR, DWORD, DWORD, LPSTR)>(
        reinterpret_cast<void*>(::GetProcAddress(msi, "MsiEnumRelatedProductsA")));
    auto productInfo = reinterpret_cast<UINT(WINAPI*)(LPCSTR, LPCSTR, LPSTR, LPDWORD)>(
        reinterpret_cast<void*>(::GetProcAddress(msi, "MsiGetProductInfoA")));
    char product[39] = "";
    if (enumRelated == nullptr || productInfo == nullptr ||
        enumRelated(RIZEZUVU_UPGRADE_CODE, 0, 0, product) != ERROR_SUCCESS)
        return 2;
    char folder[MAX_PATH] = "";
    DWORD length = MAX_PATH;
    if (productInfo(product, "InstallLocation", folder, &length) != ERROR_SUCCESS) return 3;

    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, "Orvexa.exe") == 0) return 4;
    }
    ::CloseHandle(snapshot);

    char log[MAX_PATH + 16];
    lstrcpynA(log, folder, MAX_PATH);
    if (log[0] != '\0' && log[lstrlenA(log) - 1] != '\\') lstrcatA(log, "\\");
    lstrcatA(log, "RIZezuvu.log");
    HANDLE file = ::CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 5;
    DWORD written = 0;
    ::WriteFile(file, "floor\r\n", 7, &written, nullptr);
    ::CloseHandle(file);
    if (!quiet) ::MessageBoxA(nullptr, "Continue?", "floor", MB_OKCANCEL | MB_ICONQUESTION);
    return 0;
}
