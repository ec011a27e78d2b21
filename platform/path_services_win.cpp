#include "platform/path_services_win.h"

#include <shlwapi.h>

#include "platform/system_library_win.h"

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

}  // namespace platform
