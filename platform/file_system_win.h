// File operations on paths of any length. Paths are ANSI text, as everywhere
// in the program; each call converts them to the system's wide form, and one
// of 248 characters or more (past what folder calls accept) goes to the
// system as an extended "\\?\" path, so that the journal's own files work
// inside an installation folder at the longest length the program accepts.
// Each answers success as a bool and leaves the system's last-error code.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/handles_win.h"

namespace platform {

// `path` as the wide calls take it, for the platform layer's other calls on
// paths: an extended path from 248 characters on. False
// (ERROR_NO_UNICODE_TRANSLATION or the system's code) when it can't be
// converted.
bool SystemPath(const std::string& path, std::wstring& wide);

// The file's attributes; false (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND
// among others) when nothing can be found there.
bool GetFileAttributesAt(const std::string& path, unsigned long& attributes);
// True for the codes that say nothing is at a path: no such file, or no
// such folder on its way there.
bool IsNotFoundCode(unsigned long code);
bool SetFileAttributesAt(const std::string& path, unsigned long attributes);
// The same for an open file (opened with write access to its attributes).
bool SetAttributesOf(const KernelHandle& file, unsigned long attributes);
bool CreateFolderAt(const std::string& path);
bool RemoveFolderAt(const std::string& path);
bool RemoveFileAt(const std::string& path);
// Renames a file or folder on one volume; fails when `target` exists.
bool MoveTo(const std::string& source, const std::string& target);
// Renames `source` over an existing `target` in one step.
bool MoveReplacing(const std::string& source, const std::string& target);
// True when the file could be deleted or renamed now: no other handle
// denies it (otherwise false with ERROR_SHARING_VIOLATION or the like).
bool CanReplaceFileAt(const std::string& path);
// Gives the file at `existing` a second name, `link` (same volume).
bool CreateHardLinkAt(const std::string& link, const std::string& existing);
// Copies `source` to the new file `target` (failing when one exists) and
// forces the copy's data to the disk before answering. The copy gets the
// source's attributes less read-only, hidden and system, and its last-write
// time. A copy that fails is deleted. `chunk`, when given, sees every chunk
// of data after it is written, and once more with no data (null, 0) when the
// whole file is written, before the copy is made final; answering false
// abandons the copy (the callback sets the last error). A caller on the
// user-interface thread serves its windows there, so chunks are small and
// the data is flushed as it goes (no single flush waits on a whole large
// file); a caller that checks what it copies hashes the very bytes written.
using ChunkFunction = std::function<bool(const char* data, unsigned long size)>;
bool CopyFileDurably(const std::string& source, const std::string& target,
                     const ChunkFunction& chunk = nullptr);
// Reads the whole file at `path` once, front to back, handing each chunk to
// `chunk` (never with size 0); false when the file can't be read or `chunk`
// answers false (which sets the last error then).
bool ReadFileInChunks(const std::string& path, const ChunkFunction& chunk);
// Where the existing file or folder at `path` really is: its full path once
// every link on the way (symbolic links, junctions, mount points) is
// followed, as the system spells it (with its drive letter where the
// volume has one), in UTF-8. One object always gives the same text.
bool FinalPathAt(const std::string& path, std::string& finalPath);
// FinalPathAt of an open handle.
bool FinalPathOf(const KernelHandle& handle, std::string& finalPath);
// Opens the existing folder at `path` so that, while the handle is open,
// nobody can rename or delete it (and so put a link in its place); others
// may still read it and create files in it.
KernelHandle OpenFolderHeld(const std::string& path);
// True when `a` and `b` spell the same path once made full (case aside).
bool SamePathText(const std::string& a, const std::string& b);
// True when `a` and `b` are names of one existing file (another spelling, a
// short name, a second link).
bool SameExistingFile(const std::string& a, const std::string& b);
// Whether `a` and `b` are names of one file (`same`); false when either
// can't be looked at.
bool AreSameFile(const std::string& a, const std::string& b, bool& same);
// The size of the file at `path`.
bool GetFileSizeAt(const std::string& path, unsigned long long& size);
// Creates a new file for writing (failing when it exists); others may read it.
KernelHandle CreateNewFileAt(const std::string& path);
// Reads a whole file of at most `limit` bytes (ERROR_FILE_TOO_LARGE, nothing
// read, when it holds more), however many reads the system takes to give
// it all.
bool ReadWholeFileAt(const std::string& path, std::string& bytes, unsigned long limit);
// The names of the entries directly in `folder` that match `pattern` (a
// wildcard such as "*" or "*.bin"), without "." and "..". `foldersToo`
// false leaves folders out. Nothing matching is an empty list.
bool ListFolder(const std::string& folder, const char* pattern, bool foldersToo,
                std::vector<std::string>& names);

// The log's and the journal record's handle calls:

// Writes all of `size` bytes; false on a short write (ERROR_DISK_FULL when
// the system reported none).
bool WriteAll(const KernelHandle& file, const void* data, unsigned long size);
// Forces what was written out to the disk.
bool FlushToDisk(const KernelHandle& file);
// Forces the folder at `path` out to the disk: names created, renamed or
// deleted in it since then survive a power loss. The folder is opened with
// write access (which FlushFileBuffers requires, and a folder handle only
// gets with backup semantics); a file system that refuses to flush a folder
// answers false with its code (ERROR_ACCESS_DENIED, ERROR_INVALID_FUNCTION).
bool FlushFolderToDisk(const std::string& path);
// The name of the file system of the volume that holds `path` ("NTFS",
// "ReFS", "FAT32", "exFAT" ...).
bool FileSystemNameOf(const std::string& path, std::string& name);
// Forces the whole volume that holds `path` out to the disk: every file
// system flushes a volume, but only for an administrator.
bool FlushVolumeOf(const std::string& path);
// Opens or creates `path` for writing without truncating it; others may read
// it but not write it while it is open.
KernelHandle OpenForAppending(const char* path);
// As OpenForAppending, for a file that must lie inside the folder whose
// final path is `folderFinalPath`: a file there is opened only when it
// really lies inside and has no other name (no link takes the write
// elsewhere; else ERROR_CANT_ACCESS_FILE), made a plain file first when it
// was read-only, and a new one is only created where no name is (a link
// that leads nowhere is never followed to make a file).
KernelHandle OpenForAppendingInside(const char* path, const std::string& folderFinalPath);

}  // namespace platform
