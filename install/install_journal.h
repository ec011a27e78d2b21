// The journal that makes an update all or nothing. Every change that the
// content copy makes to the installation folder goes through it and is
// recorded on disk before it is made (write-ahead), so that a failed run, or
// the next run after one that was killed, can put every file back.
//
// Pure logic: the file system is reached through JournalFiles, so the order
// of steps, the record format and the rollback are tested without the OS.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

// The few file operations the journal needs. Each answers success as a bool
// and leaves the reason for LastError().
class JournalFiles {
public:
    enum class Kind { Missing, File, Folder, Unknown };

    virtual ~JournalFiles() = default;
    // What is at `path`; Unknown (with LastError) when that can't be told.
    // `readOnly`, when given, tells whether a file there is read-only.
    virtual Kind Inspect(const std::string& path, bool* readOnly) = 0;
    Kind Probe(const std::string& path) { return Inspect(path, nullptr); }
    virtual bool CreateHiddenFolder(const std::string& path) = 0;
    // Removes a folder that must be empty by now.
    virtual bool RemoveFolder(const std::string& path) = 0;
    // Creates `path` (failing when it exists) and keeps it open for appending.
    virtual bool CreateRecord(const std::string& path) = 0;
    // Appends to the open record and flushes it to the disk.
    virtual bool AppendRecord(const std::string& text) = 0;
    virtual void CloseRecord() = 0;
    virtual bool ReadAll(const std::string& path, std::string& text) = 0;
    // Renames on one volume; fails when `to` exists. Keeps attributes and times.
    virtual bool Move(const std::string& from, const std::string& to) = 0;
    // Copies a file, replacing `to` when it exists; attributes go along.
    virtual bool Copy(const std::string& from, const std::string& to) = 0;
    // Gives the file at `existing` a second name, `link` (a hard link).
    virtual bool Link(const std::string& existing, const std::string& link) = 0;
    // Renames `from` over the existing `to`, in one step.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    // True when nothing holds `path` against being renamed over or deleted now.
    virtual bool CanReplace(const std::string& path) = 0;
    // Clears read-only and deletes; true when nothing is there.
    virtual bool Remove(const std::string& path) = 0;
    // Names of the entries directly in `folder` (no "." or "..").
    virtual bool List(const std::string& folder, std::vector<std::string>& names) = 0;
    virtual unsigned long LastError() = 0;
    virtual void SetLastError(unsigned long code) = 0;
};

// Told about each step of a rollback, in the order they are undone.
class RollbackListener {
public:
    virtual ~RollbackListener() = default;
    // A moved-aside file is back at `path`.
    virtual void Restored(const std::string& path) = 0;
    // A file that the update added at `path` is gone again.
    virtual void Removed(const std::string& path) = 0;
    // Undoing the step for `path` failed with `code`; the journal is kept.
    virtual void Failed(const std::string& path, unsigned long code) = 0;
};

class InstallJournal {
public:
    // The journal's hidden folder inside the installation folder.
    static constexpr const char* kFolderName = ".RIZezuvu-journal";
    static constexpr const char* kRecordName = "journal.txt";
    static constexpr const char* kHeader = "RIZezuvu journal 1\n";

    // `installBase` is the installation folder with its trailing backslash.
    InstallJournal(JournalFiles& files, const std::string& installBase);
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;
    ~InstallJournal();

    // Makes way for a copy to `target`: an existing file is moved into the
    // journal, a missing one is recorded as added. False when the step could
    // not be recorded or taken (the reason in LastError): the copy must not
    // go ahead. `target` must lie inside the installation folder.
    bool PrepareTarget(const std::string& target);

    // Declares, before the first of them, the copies a run is about to make,
    // in order: a target that exists now will be moved into the journal, one
    // that doesn't is added (one named twice is moved the second time, since
    // the first copy will be there). All of it is written and flushed at
    // once, so that PrepareTarget need not write again for a declared target.
    bool Declare(const std::vector<std::string>& targets);

    // Installs `source` at `target` (inside the installation folder). An
    // existing target is replaced in one step by a complete copy made in
    // the journal, its old file kept there under a second name, so the
    // target is never half written; a read-only target, or a volume without
    // hard links, has its old file moved into the journal first instead. A
    // missing target is recorded as added and copied. False, with the
    // failing step's code, when the target could not be installed.
    bool Install(const std::string& source, const std::string& target);

    // Moves `path` (a file inside the installation folder) into the journal
    // instead of deleting it.
    bool MoveAside(const std::string& path);

    // Makes the run's changes final: the record goes first (from then on
    // nothing will be rolled back), then the moved-aside files and the
    // folder. False when the record could not be removed; the changes can
    // then still be rolled back.
    bool Commit();

    // Undoes every recorded step in reverse order, going on past a step that
    // fails. True when everything was undone and the journal removed; false
    // leaves the journal for the next run. `firstFailure` gets the code of
    // the first step that failed.
    bool RollBack(RollbackListener& listener, unsigned long* firstFailure = nullptr);

    // True when a journal folder is left in the installation folder.
    bool Exists();

    // Reads the journal left by an interrupted run. False (with
    // ERROR_INVALID_DATA or the read's own code) when it can't be read;
    // nothing is changed then. A folder whose record is gone belongs to a
    // committed run: it holds no steps and only needs removing.
    bool Load();

    // True when this journal has a folder to roll back or remove.
    bool HasWork() const { return started_; }
    // True when this run has taken a step (changed the installation).
    bool TookSteps() const { return !taken_.empty(); }
    // True when Load found the record of a run that never finished.
    bool Interrupted() const { return interrupted_; }

    const std::string& Folder() const { return folder_; }

private:
    enum class StepKind { Added, Moved, None };
    struct Step {
        StepKind kind;
        unsigned index;      // the moved-aside file's number (Moved only)
        std::string target;  // relative to the installation folder
        bool readOnly;       // Moved: the file was read-only when looked at
    };

    bool Start();
    bool Record(const Step& step);
    static std::string RecordLine(const Step& step);
    bool UndoStep(const Step& step, RollbackListener& listener, unsigned long* firstFailure);
    bool RemoveJournalFolder();
    std::string BackupPath(unsigned index) const;
    bool MoveToBackup(const std::string& path, unsigned index);
    bool MakeBucket(unsigned index);
    bool NextStep(const std::string& target, Step& step);
    bool MoveAsideTaken(const std::string& target, const Step& step);
    static constexpr unsigned kBucketSize = 64;
    std::string RecordPath() const;
    std::string FolderPath() const;  // the folder, without its trailing backslash
    bool RelativeToBase(const std::string& path, std::string& relative);

    JournalFiles& files_;
    std::string base_;
    std::string folder_;       // with trailing backslash
    std::vector<Step> steps_;  // in the record's order
    // Positions in steps_ of the steps this run has taken, in the order it
    // took them (declared steps are recorded first, taken later).
    std::vector<size_t> taken_;
    // Declared steps not yet taken, by target, in order, as positions in steps_.
    std::map<std::string, std::deque<size_t>> declared_;
    unsigned nextIndex_ = 1;
    std::set<unsigned> buckets_;  // sub-folders made by this run
    bool started_ = false;
    bool recordOpen_ = false;
    bool interrupted_ = false;
};

// The record's lines; exposed for the tests and the fuzzer.
// Parses a whole record. False when the header is wrong or a complete line
// is malformed; a last line without its line feed was never flushed whole,
// so its step was never taken, and it is ignored.
struct JournalLine {
    bool moved;
    unsigned index;
    std::string target;
};
bool ParseJournalRecord(const std::string& text, std::vector<JournalLine>& lines);

// True when `relative` names something inside its base folder: not empty, no
// drive, no leading separator, no device or stream colon, no control
// character, and no ".." that climbs above the base. `isLeadByte` tells the
// ANSI code page's double-byte lead bytes, so a trail byte is never taken
// for a separator (null: single-byte code page).
bool IsContainedRelativePath(const std::string& relative, bool (*isLeadByte)(unsigned char));
