#include "test_support.h"

#include <cstdio>
#include <map>
#include <regex>

namespace testing_support {

TempFolder::TempFolder() {
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%srzv-%lu-%lu-%u", base, ::GetCurrentProcessId(),
                  ::GetTickCount(), ++counter);
    path_ = name;
    ::CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

namespace {

void RemoveTreeAt(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeAt(child);
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(search, &data));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(path.c_str());
}

}  // namespace

// Through the extended form of the path, so that a tree deeper than the
// usual limit (a test of long paths) goes too.
void RemoveTree(const std::string& path) {
    wchar_t wide[MAX_PATH];
    wchar_t full[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0) return;
    DWORD length = ::GetFullPathNameW(wide, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return;
    std::wstring extended(full);
    if (extended.compare(0, 2, L"\\\\") != 0) extended = L"\\\\?\\" + extended;
    RemoveTreeAt(extended);
}

bool MakeFolder(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string ReadFileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::string("<missing>");
    std::string bytes;
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, read);
    std::fclose(file);
    return bytes;
}

bool WaitForFile(const std::string& path, unsigned milliseconds) {
    for (unsigned waited = 0;; waited += 50) {
        if (Exists(path)) return true;
        if (waited >= milliseconds) return false;
        ::Sleep(50);
    }
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

namespace {

void SnapshotInto(const std::string& folder, const std::string& relative,
                  std::map<std::string, std::string>& entries) {
    WIN32_FIND_DATAA data;
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == ".." || _stricmp(name.c_str(), "RIZezuvu.log") == 0) continue;
        std::string path = folder + "\\" + name;
        std::string key = relative + name;
        char attributes[16];
        std::snprintf(attributes, sizeof attributes, "%#lx", data.dwFileAttributes);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries[key + "\\"] = attributes;
            SnapshotInto(path, key + "\\", entries);
        } else {
            entries[key] = std::string(attributes) + " '" + ReadFileBytes(path) + "'";
        }
    } while (::FindNextFileA(search, &data));
    ::FindClose(search);
}

}  // namespace

std::string Snapshot(const std::string& folder) {
    std::map<std::string, std::string> entries;
    SnapshotInto(folder, "", entries);
    std::string out;
    for (const auto& entry : entries) out += entry.first + " " + entry.second + "\n";
    return out;
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.rfind('\\'));
}

std::string FixtureFolder() { return ProgramFolder() + "\\..\\fixtures"; }

int RunAndWait(const std::string& commandLine, DWORD timeoutMs) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(info.hProcess, &code);
    } else {
        ::TerminateProcess(info.hProcess, 1);
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return static_cast<int>(code);
}

ChildProcess::ChildProcess(const std::string& exePath) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    // Under a loaded Wine server a start can fail once for reasons of its
    // own (seen with a file just written by CopyFileA); a stand-in that
    // can't be started at all still fails the test, with the code.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string line = "\"" + exePath + "\"";
        if (::CreateProcessA(exePath.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info_)) {
            startError_ = 0;
            return;
        }
        startError_ = ::GetLastError();
        info_ = {};
        ::Sleep(200);
    }
}

ChildProcess::~ChildProcess() {
    if (info_.hProcess == nullptr) return;
    ::TerminateProcess(info_.hProcess, 0);
    ::WaitForSingleObject(info_.hProcess, 10000);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
}

const char kLogStampPattern[] =
    "[0-3][0-9], (January|February|March|April|May|June|July|August|September|October|November|"
    "December) 20[0-9]{2}, [0-2][0-9]:[0-5][0-9]:[0-5][0-9]: ";

std::string StripStamps(const std::string& logBytes, bool* allStamped) {
    static const std::regex stamp(std::string("^") + kLogStampPattern);
    *allStamped = true;
    std::string out;
    size_t start = 0;
    while (start < logBytes.size()) {
        size_t end = logBytes.find("\r\n", start);
        if (end == std::string::npos) end = logBytes.size();
        std::string line = logBytes.substr(start, end - start);
        std::smatch match;
        if (std::regex_search(line, match, stamp)) {
            out += line.substr(match.length(0));
        } else if (!line.empty()) {
            *allStamped = false;
            out += line;
        }
        out += "\n";
        start = end + 2;
    }
    return out;
}

}  // namespace testing_support
