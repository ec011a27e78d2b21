// Path and file operations on single-byte, backslash-separated paths held in
// buffers of kPathBufferSize characters. Each answers success as a bool and
// leaves the system's last-error code in place for the caller on failure.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "platform/path_rules.h"

namespace platform {

constexpr size_t kPathBufferSize = kMaxPathText + 1;  // MAX_PATH, with the terminator
using PathBuffer = char[kPathBufferSize];

// Copies `text` into `out`; false (and `out` untouched) when it would not fit.
bool CopyToPathBuffer(PathBuffer& out, const char* text);

// Full path of the running executable (of this module, not the working folder).
bool GetModulePath(PathBuffer& out);

// True when the running executable's path survives the ANSI code page in
// which the program handles every path; false, with
// ERROR_NO_UNICODE_TRANSLATION, when a character of it has no place there
// (a folder named in another script): nothing beside the program could be
// found by its ANSI name.
bool ModulePathFitsAnsiCodePage();

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

// Adds a trailing backslash unless there is one; false when it would not fit.
bool AddBackslash(PathBuffer& path);


bool IsDirectory(const char* path);

// Clears read-only, hidden and system (FILE_ATTRIBUTE_NORMAL).
bool SetNormalAttributes(const char* path);

// Copies `source` over `target`, replacing an existing target.
bool CopyFileReplacing(const char* source, const char* target);

bool DeleteFileAt(const char* path);

// The file's attributes; false (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND
// among others) when nothing can be found there.
bool GetAttributes(const char* path, unsigned long& attributes);
bool SetAttributes(const char* path, unsigned long attributes);
bool CreateFolder(const char* path);
bool RemoveFolder(const char* path);
// Renames on one volume; fails when `target` exists. Attributes and times go along.
bool MoveFileTo(const char* source, const char* target);

// Renames `source` over an existing `target` in one step.
bool MoveFileReplacing(const char* source, const char* target);
// True when the file could be deleted or renamed over now: no other handle
// denies it (otherwise false with ERROR_SHARING_VIOLATION or the like).
bool CanReplaceFile(const char* path);
// Gives the file at `existing` a second name, `link` (same volume).
bool CreateHardLinkTo(const char* link, const char* existing);

// Creates a new file for writing (failing when it exists); others may read it.
KernelHandle CreateNewFile(const char* path);
// Writes all of `size` bytes; false on a short write (ERROR_DISK_FULL when
// the system reported none).
bool WriteAll(const KernelHandle& file, const void* data, unsigned long size);
// Forces what was written out to the disk.
bool FlushToDisk(const KernelHandle& file);

// Reads `key` of `section` in an INI file into `out` (default `fallback`);
// answers the number of characters copied.
unsigned long ReadIniString(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, unsigned long outSize);

// Opens or creates `path` for writing without truncating it; others may read
// it but not write it while it is open.
KernelHandle OpenForAppending(const char* path);

// Tells whether `c` starts a double-byte character of the ANSI code page.
bool IsAnsiLeadByte(unsigned char c);

// The names matching a wildcard pattern in one folder (sub-folders are not searched).
class FileSearch {
public:
    // False when nothing matches or the search can't start.
    bool First(const char* pattern, std::string& name);
    // False when no further entry matches.
    bool Next(std::string& name);
    // The last entry found is a folder.
    bool IsFolder() const { return (attributes_ & FILE_ATTRIBUTE_DIRECTORY) != 0; }

private:
    FindHandle handle_;
    DWORD attributes_ = 0;
};

}  // namespace platform
