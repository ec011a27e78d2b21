// The few file operations the journal needs, answered by the real file
// system (install/journal_files_win.h) or, in the tests, by a fake one that
// fails or crashes at any of them. Pure: the seam between the journal's
// logic and the system.
#pragma once

#include <string>
#include <vector>

#include "platform/error_codes.h"

// The few file operations the journal needs. Each answers success as a bool
// and leaves the reason for LastError(), with the system's codes.
class JournalFiles {
public:
    enum class Kind { Missing, File, Folder, Unknown };
    // What the journal answers for a write that a link would carry out of
    // the installation folder.
    static constexpr unsigned long kLeadsOutside = error_code::kCantAccessFile;

    virtual ~JournalFiles() = default;
    // What is at `path`; Unknown (with LastError) when that can't be told.
    virtual Kind Probe(const std::string& path) = 0;
    // Creates the journal's folder (or a sub-folder of it): hidden, and
    // open to the administrators and the system only, while the files made
    // in it get what files made in the installation folder get.
    virtual bool CreateJournalFolder(const std::string& path) = 0;
    // Removes a folder that must be empty by now.
    virtual bool RemoveFolder(const std::string& path) = 0;
    // Creates `path` (failing when it exists) and keeps it open for appending.
    virtual bool CreateRecord(const std::string& path) = 0;
    // Appends to the open record and flushes it to the disk.
    virtual bool AppendRecord(const std::string& text) = 0;
    virtual void CloseRecord() = 0;
    // Creates the empty file `path` (failing when it exists): a mark.
    virtual bool CreateMark(const std::string& path) = 0;
    virtual bool ReadAll(const std::string& path, std::string& text) = 0;
    // Renames a file or a folder on one volume; fails when `to` exists.
    // Keeps attributes, times and security.
    virtual bool Move(const std::string& from, const std::string& to) = 0;
    // Gives the file at `existing` a second name, `link` (a hard link);
    // fails on a volume without them.
    virtual bool Link(const std::string& existing, const std::string& link) = 0;
    // Renames the file `from` over the existing file `to`, in one step;
    // fails when `to` is read-only, held open or loaded by another program.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    // True when nothing holds `path` against being renamed or deleted now.
    virtual bool CanReplace(const std::string& path) = 0;
    // True when `a` and `b` are names of one existing file.
    virtual bool SameFile(const std::string& a, const std::string& b, bool& same) = 0;
    // Copies a file to the new name `to` (failing when it exists); the
    // copy's data is on the disk when this answers. The copy has the
    // source's attributes less read-only, hidden and system, and its
    // last-write time. A failed copy leaves nothing at `to`.
    virtual bool Copy(const std::string& from, const std::string& to) = 0;
    // Clears read-only and deletes; true when nothing is there.
    virtual bool Remove(const std::string& path) = 0;
    // Forces the names created, renamed or deleted in `folder` out to the
    // disk: until then a power loss may undo them (a file's own data is
    // forced out by the call that writes it).
    virtual bool FlushFolder(const std::string& folder) = 0;
    // True when the file system that holds `folder` writes name changes to
    // the disk in the order they were made, so that a power loss keeps the
    // older ones of any it keeps (NTFS and ReFS, whose metadata goes through
    // one log); false where nothing orders them (FAT, exFAT), or where that
    // can't be told.
    virtual bool KeepsNameOrder(const std::string& folder) = 0;
    // Names of the entries directly in `folder` (no "." or "..").
    virtual bool List(const std::string& folder, std::vector<std::string>& names) = 0;
    // Names of the files (not folders) directly in `folder` whose names end
    // in `suffix` (without regard to case), in the order the system lists
    // them. An empty list when there are none.
    virtual bool ListFilesEndingIn(const std::string& folder, const std::string& suffix,
                                   std::vector<std::string>& names) = 0;
    // Where the existing file or folder at `path` really is: its full path
    // once every link on the way (symbolic links, junctions, mount points)
    // is followed, spelled so that one object always gives the same text.
    virtual bool FinalPath(const std::string& path, std::string& finalPath) = 0;
    // Opens the folder at `path` and keeps it open until ReleaseFolders, so
    // that nobody can rename or delete it (nor put a link in its place)
    // meanwhile; `finalPath` gets FinalPath of the very folder held.
    virtual bool HoldFolder(const std::string& path, std::string& finalPath) = 0;
    virtual void ReleaseFolders() = 0;
    virtual unsigned long LastError() = 0;
    virtual void SetLastError(unsigned long code) = 0;
};

// Keeps the files' last error across a clean-up step, so that it still
// names the step that failed.
class LastErrorKept {
public:
    explicit LastErrorKept(JournalFiles& files) : files_(files), code_(files.LastError()) {}
    ~LastErrorKept() { files_.SetLastError(code_); }
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;

private:
    JournalFiles& files_;
    unsigned long code_;
};
