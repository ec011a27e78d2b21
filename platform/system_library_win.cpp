#include "platform/system_library_win.h"

#include <map>
#include <string>

namespace platform {

bool RestrictDllSearchToSystem32() {
    // Taken from kernel32 at run time: older systems lack it.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto setDefault =
        kernel == nullptr
            ? nullptr
            : reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                  reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    // An empty DLL directory takes the current folder out of the search.
    ::SetDllDirectoryA("");
    if (setDefault == nullptr) return false;
    return setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

ModuleHandle LoadSystemLibrary(const char* name) {
    return ModuleHandle(::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

FARPROC FindProcedure(const ModuleHandle& module, const char* name) {
    if (!module.IsValid()) return nullptr;
    return ::GetProcAddress(module.Get(), name);
}

FARPROC SystemProcedure(const char* library, const char* function) {
    // Kept until the program's static objects are destroyed at exit; a
    // library that failed to load is tried again at the next call.
    static std::map<std::string, ModuleHandle> loaded;
    ModuleHandle& module = loaded[library];
    if (!module.IsValid()) module = LoadSystemLibrary(library);
    if (!module.IsValid()) return nullptr;
    return FindProcedure(module, function);
}

}  // namespace platform
