#include "platform/path_services.h"

#include <shlwapi.h>

#include <cstring>

namespace platform {

namespace {

bool IsFullPath(const char* path) {
    return (path[0] != '\0' && path[1] == ':') || (path[0] == '\\' && path[1] == '\\');
}

}  // namespace

bool CopyToPathBuffer(PathBuffer& out, const char* text) {
    size_t length = std::strlen(text);
    if (length >= kPathBufferSize) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::memcpy(out, text, length + 1);
    return true;
}

bool GetModulePath(PathBuffer& out) {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&GetModulePath), &self)) {
        return false;
    }
    DWORD length = ::GetModuleFileNameA(self, out, kPathBufferSize);
    if (length == 0) return false;
    if (length >= kPathBufferSize) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return true;
}

void RemoveFileSpec(PathBuffer& path) { ::PathRemoveFileSpecA(path); }

bool FileExists(const char* path) { return ::PathFileExistsA(path) != FALSE; }

bool AppendPath(PathBuffer& path, const char* more) {
    // The shell's own length checks differ between systems; refuse anything
    // that might not fit before handing the buffer over.
    size_t length = std::strlen(path) + 1 + std::strlen(more);
    if (length >= kPathBufferSize) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return ::PathAppendA(path, more) != FALSE;
}

bool CombinePath(PathBuffer& out, const char* folder, const char* name) {
    size_t length =
        IsFullPath(name) ? std::strlen(name) : std::strlen(folder) + 1 + std::strlen(name);
    if (length >= kPathBufferSize) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    PathBuffer joined;
    if (::PathCombineA(joined, folder, name) == nullptr) return false;
    std::memcpy(out, joined, std::strlen(joined) + 1);
    return true;
}

bool AddBackslash(PathBuffer& path) {
    size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] == '\\') return true;
    if (length + 1 >= kPathBufferSize) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return ::PathAddBackslashA(path) != nullptr;
}

void StripPath(char* path) { ::PathStripPathA(path); }

bool IsDirectory(const char* path) { return ::PathIsDirectoryA(path) != FALSE; }

bool SetNormalAttributes(const char* path) {
    return ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool CopyFileReplacing(const char* source, const char* target) {
    return ::CopyFileA(source, target, FALSE) != FALSE;
}

bool DeleteFileAt(const char* path) { return ::DeleteFileA(path) != FALSE; }

unsigned long ReadIniString(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, unsigned long outSize) {
    return ::GetPrivateProfileStringA(section, key, fallback, out, outSize, file);
}

KernelHandle OpenForAppending(const char* path) {
    return KernelHandle(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsAnsiLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

bool FileSearch::First(const char* pattern, std::string& name) {
    WIN32_FIND_DATAA data;
    handle_.Reset(::FindFirstFileA(pattern, &data));
    if (!handle_.IsValid()) return false;
    name = data.cFileName;
    return true;
}

bool FileSearch::Next(std::string& name) {
    WIN32_FIND_DATAA data;
    if (!handle_.IsValid() || !::FindNextFileA(handle_.Get(), &data)) return false;
    name = data.cFileName;
    return true;
}

}  // namespace platform
