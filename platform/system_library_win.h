// Loading system libraries without letting a planted copy in: the program
// runs elevated from a download folder, where anyone may have left a DLL.
#pragma once

#include <windows.h>

#include "platform/handles_win.h"

namespace platform {

// Limits every later DLL search of the process (the program's own and the
// system libraries') to System32. Call it first thing. False when the
// system has no such setting (Windows 7 without KB2533623); the search then
// still leaves out the current folder.
bool RestrictDllSearchToSystem32();

struct ModuleHandleTraits {
    using Value = HMODULE;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value h) { return h != nullptr; }
    static void Close(Value h) { ::FreeLibrary(h); }
};
using ModuleHandle = UniqueResource<ModuleHandleTraits>;

// Loads `name` from System32 only.
ModuleHandle LoadSystemLibrary(const char* name);

// The address of an exported function; null (with the system's code) when missing.
FARPROC FindProcedure(const ModuleHandle& module, const char* name);

// A function of a system library that the program does not import: the
// library is loaded from System32 on first use and kept for the process.
// Null, with the system's code as the last error, when either is missing.
// Loading libraries such as the common controls or the shell only after
// RestrictDllSearchToSystem32 keeps what they load in turn out of the
// package folder too.
FARPROC SystemProcedure(const char* library, const char* function);

template <typename Function>
Function SystemFunction(const char* library, const char* function) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemProcedure(library, function)));
}

}  // namespace platform
