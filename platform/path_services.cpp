#include "platform/path_services.h"

#include <shlwapi.h>

#include "platform/system_library.h"

#include <cstring>
#include <string>

namespace platform {

namespace {

// The shell's path functions, from System32's shlwapi.dll (not imported:
// see SystemFunction). Looked up at each call, so that a load that failed
// once is tried again; a call that can't be made fails with the loader's code.
template <typename Function>
Function PathFunction(const char* name) {
    return SystemFunction<Function>("shlwapi.dll", name);
}

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

bool ModulePathFitsAnsiCodePage() {
    std::wstring wide(32768, L'\0');
    DWORD length = ::GetModuleFileNameW(nullptr, &wide[0], static_cast<DWORD>(wide.size()));
    if (length == 0 || length >= wide.size()) return false;
    BOOL usedDefault = FALSE;
    int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(),
                                     static_cast<int>(length), nullptr, 0, nullptr, &usedDefault);
    if (size <= 0) return false;
    if (usedDefault) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    return true;
}

bool RemoveFileSpec(PathBuffer& path) {
    const auto remove = PathFunction<decltype(&::PathRemoveFileSpecA)>("PathRemoveFileSpecA");
    if (remove == nullptr) return false;
    remove(path);
    return true;
}

bool FileExists(const char* path) {
    const auto exists = PathFunction<decltype(&::PathFileExistsA)>("PathFileExistsA");
    return exists != nullptr && exists(path) != FALSE;
}

bool AppendPath(PathBuffer& path, const char* more) {
    // The shell's own length checks differ between systems; refuse anything
    // that might not fit before handing the buffer over.
    size_t pathLength = std::strlen(path);
    bool needsSeparator = pathLength > 0 && path[pathLength - 1] != '\\';
    size_t length = pathLength + (needsSeparator ? 1 : 0) + std::strlen(more);
    if (length >= kPathBufferSize) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const auto append = PathFunction<decltype(&::PathAppendA)>("PathAppendA");
    return append != nullptr && append(path, more) != FALSE;
}

bool CombinePath(PathBuffer& out, const char* folder, const char* name) {
    size_t folderLength = std::strlen(folder);
    bool needsSeparator = folderLength > 0 && folder[folderLength - 1] != '\\' && name[0] != '\\';
    size_t length = IsFullPath(name) ? std::strlen(name)
                                     : folderLength + (needsSeparator ? 1 : 0) + std::strlen(name);
    if (length >= kPathBufferSize) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const auto combine = PathFunction<decltype(&::PathCombineA)>("PathCombineA");
    PathBuffer joined;
    if (combine == nullptr || combine(joined, folder, name) == nullptr) return false;
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
    const auto add = PathFunction<decltype(&::PathAddBackslashA)>("PathAddBackslashA");
    return add != nullptr && add(path) != nullptr;
}


bool IsDirectory(const char* path) {
    const auto isDirectory = PathFunction<decltype(&::PathIsDirectoryA)>("PathIsDirectoryA");
    return isDirectory != nullptr && isDirectory(path) != FALSE;
}

bool SetNormalAttributes(const char* path) {
    return ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool CopyFileReplacing(const char* source, const char* target) {
    return ::CopyFileA(source, target, FALSE) != FALSE;
}

bool DeleteFileAt(const char* path) { return ::DeleteFileA(path) != FALSE; }

bool GetAttributes(const char* path, unsigned long& attributes) {
    DWORD found = ::GetFileAttributesA(path);
    if (found == INVALID_FILE_ATTRIBUTES) return false;
    attributes = found;
    return true;
}

bool SetAttributes(const char* path, unsigned long attributes) {
    return ::SetFileAttributesA(path, attributes) != FALSE;
}

bool CreateFolder(const char* path) { return ::CreateDirectoryA(path, nullptr) != FALSE; }

bool RemoveFolder(const char* path) { return ::RemoveDirectoryA(path) != FALSE; }

bool MoveFileTo(const char* source, const char* target) {
    return ::MoveFileExA(source, target, 0) != FALSE;
}

bool MoveFileReplacing(const char* source, const char* target) {
    return ::MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool CanReplaceFile(const char* path) {
    KernelHandle file(::CreateFileA(path, DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}

bool CreateHardLinkTo(const char* link, const char* existing) {
    return ::CreateHardLinkA(link, existing, nullptr) != FALSE;
}

KernelHandle CreateNewFile(const char* path) {
    return KernelHandle(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteAll(const KernelHandle& file, const void* data, unsigned long size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(file.Get(), next, size, &written, nullptr)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        next += written;
        size -= written;
    }
    return true;
}

bool FlushToDisk(const KernelHandle& file) { return ::FlushFileBuffers(file.Get()) != FALSE; }

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
    attributes_ = data.dwFileAttributes;
    return true;
}

bool FileSearch::Next(std::string& name) {
    WIN32_FIND_DATAA data;
    if (!handle_.IsValid() || !::FindNextFileA(handle_.Get(), &data)) return false;
    name = data.cFileName;
    attributes_ = data.dwFileAttributes;
    return true;
}

}  // namespace platform
