// The shell's path operations on ANSI, backslash-separated paths held in
// buffers of kPathBufferSize characters, and the program's own path. Each
// answers success as a bool and leaves the system's last-error code in place
// for the caller on failure. (Files themselves: file_system_win.h.)
#pragma once

#include <windows.h>

#include "platform/path_rules.h"

namespace platform {

constexpr size_t kPathBufferSize = kMaxPathText + 1;  // MAX_PATH, with the terminator
using PathBuffer = char[kPathBufferSize];

// Copies `text` into `out`; false (and `out` untouched) when it would not fit.
bool CopyToPathBuffer(PathBuffer& out, const char* text);

// Full path of the running executable (of this module, not the working folder).
bool GetModulePath(PathBuffer& out);

// Cuts the last component and its backslash; a drive root keeps its
// backslash. False (the loader's code) when shlwapi can't be had.
bool RemoveFileSpec(PathBuffer& path);

bool FileExists(const char* path);

// Appends `more` with one backslash between; false when the result would not
// fit, leaving `path` unchanged.
bool AppendPath(PathBuffer& path, const char* more);

// Joins `folder` and `name` into `out` with exactly one backslash; a full path
// in `name` replaces the folder. False when the result would not fit.
bool CombinePath(PathBuffer& out, const char* folder, const char* name);

}  // namespace platform
