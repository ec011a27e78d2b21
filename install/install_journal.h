// The journal that makes an update all or nothing. Every change that the
// content copy makes to the installation folder goes through it and is
// recorded on disk before it is made (write-ahead), so that a failed run, or
// the next run after one that was killed, can put every file back.
//
// Pure logic: the file system is reached through JournalFiles, so the order
// of steps, the record format and the rollback are tested without the OS.
//
// The record (journal.txt in the journal's folder) is text:
//
//   RIZezuvu journal 2
//   product {product code}
//   folder C:\Program Files\Orvexa\   (the installation folder)
//   moved 1 player.dll            a declared copy: the old file kept as 1.old
//   kept 2 skin.ini               a declared copy rewriting a file in place:
//                                 its old bytes are entry 2 of the data files
//   added Skins\new.skin          a declared copy onto a file that is missing
//   after 1 moved 2 update.bin    a step taken after the first declared one
//   instead 2 added new.skin      declared step 2, replaced by what was found
//
// Declared steps are written in one go before the first of them is taken,
// and are taken in their order. A step the declaration did not foresee (a
// firmware purge, or a declared copy whose target has changed since) names
// its place among them, so that a record read back from disk gives the
// exact order in which the steps were taken: recovery undoes them in the
// very order an in-run rollback does. A step recorded but never taken needs
// no undo: a "moved" step without its kept file was never made, and an
// "added" step's file is missing until its copy runs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/path_rules.h"

// A file as the journal keeps it for an in-place rewrite: its bytes, and
// the attributes and last-write time that go back with them.
struct KeptFile {
    std::string bytes;
    unsigned long attributes = 0;
    unsigned long long lastWrite = 0;
    bool operator==(const KeptFile& other) const {
        return bytes == other.bytes && attributes == other.attributes &&
               lastWrite == other.lastWrite;
    }
};

// How much of the old files the journal keeps in its data files so that
// their targets can be rewritten in place: a target of up to `perFile`
// bytes. Writing a file's old bytes once more costs less than the new name,
// the link, the rename and the delete that keeping it by name takes, up to
// a few MiB (measured on ext4 under Wine: 100 KB to 5 MB files). The data
// files are written in batches of about `perBatch` bytes, each one whole
// and flushed before the declaration that refers to it; a batch is held in
// memory while it is gathered.
struct KeptLimits {
    unsigned long long perFile = 4ull << 20;
    unsigned long long perBatch = 8ull << 20;
};

// The few file operations the journal needs. Each answers success as a bool
// and leaves the reason for LastError(), with the system's codes.
class JournalFiles {
public:
    enum class Kind { Missing, File, Folder, Unknown };
    // What Read and Rewrite answer for a file past their limit.
    static constexpr unsigned long kTooLarge = 223;  // ERROR_FILE_TOO_LARGE

    virtual ~JournalFiles() = default;
    // What the journal keeps in place of new names on this file system.
    virtual KeptLimits KeepLimits() { return KeptLimits(); }
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
    // Renames a file or a folder on one volume; fails when `to` exists.
    // Keeps attributes and times.
    virtual bool Move(const std::string& from, const std::string& to) = 0;
    // Copies a file to `to`, replacing a file there; the copy's data is on
    // the disk when this answers. The copy has the source's attributes less
    // read-only, hidden and system, and its last-write time. A failed copy
    // leaves nothing at `to`.
    virtual bool Copy(const std::string& from, const std::string& to) = 0;
    // Reads the file at `path` whole, with its attributes and last-write
    // time; kTooLarge (nothing read) when it has more than `limit` bytes.
    virtual bool Read(const std::string& path, unsigned long long limit, KeptFile& file) = 0;
    // Creates `path` (failing when it exists) holding `bytes`, on the disk
    // once FlushNewFiles answers.
    virtual bool WriteNew(const std::string& path, const std::string& bytes) = 0;
    // Forces every file WriteNew made since the last call to the disk. One
    // flush after many files costs less than one as each is written: the
    // system writes them back meanwhile.
    virtual bool FlushNewFiles() = 0;
    // Writes the content of `from` (at most `limit` bytes, read whole before
    // `to` is touched; else kTooLarge and nothing changed) over the existing
    // file `to`, in place, as Copy would leave it: the source's attributes
    // less read-only, hidden and system, its last-write time, the data on
    // the disk. Fails when another process holds `to` or it is read-only.
    // A failure part-way may leave `to` partly written.
    virtual bool Rewrite(const std::string& from, const std::string& to,
                         unsigned long long limit) = 0;
    // Puts `file` back over the existing file `to`, in place: its bytes,
    // attributes and last-write time, on the disk when this answers.
    virtual bool Restore(const std::string& to, const KeptFile& file) = 0;
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
    // Names of the files (not folders) directly in `folder` whose names end
    // in `suffix` (without regard to case), in the order the system lists
    // them. An empty list when there are none.
    virtual bool ListFilesEndingIn(const std::string& folder, const std::string& suffix,
                                   std::vector<std::string>& names) = 0;
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

// Told about each step of a rollback, in the order they are undone. Every
// call leaves the thread's last error as it found it.
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

// The installation a journal belongs to: a record left by another one (the
// product was removed and installed again since) is never rolled back over
// this one.
struct JournalOwner {
    std::string productCode;
    std::string folder;  // the installation folder, with its trailing backslash
};

// One line of the record.
struct JournalLine {
    enum class Place {
        kDeclared,  // the next declared step
        kAfter,     // taken once `position` declared steps were dealt with
        kInstead,   // replaces declared step `position` (counted from 1)
    };
    Place place = Place::kDeclared;
    unsigned position = 0;
    bool moved = false;  // else added
    bool kept = false;   // moved, its old bytes kept in the data file, rewritten in place
    unsigned index = 0;  // moved: the number of the kept old file (or kept entry)
    std::string target;  // relative to the installation folder
};

// A record read back from disk.
struct JournalRecord {
    bool complete = false;  // false: torn before its header was whole
    JournalOwner owner;     // empty for the first format, which had none
    std::vector<JournalLine> lines;
};

// Parses a whole record. False when it is not a record of ours or a
// complete line is malformed; a last line without its line feed (or a tail
// of zero bytes) was never flushed whole, so its step was never taken, and
// it is ignored. A record torn within its header parses as not complete.
bool ParseJournalRecord(const std::string& text, JournalRecord& record,
                        LeadBytePredicate isLeadByte);

// The whole entries (number, file) of a data file, in order; false when an
// entry is not one. A torn last entry is left out: the declaration after it
// was never written, so nothing refers to it.
bool ParseKeptEntries(const std::string& text, std::vector<std::pair<unsigned, KeptFile>>& entries);

// The steps of a record in the order they were taken.
std::vector<JournalLine> StepsInTakenOrder(const std::vector<JournalLine>& lines);

// True when the first component of `relative` is a name the journal uses
// for its folders (a live journal, a fresh name, or one set aside): nothing
// of the update may be put there.
bool IsJournalFolderName(const std::string& relative, LeadBytePredicate isLeadByte);

class InstallJournal {
public:
    // The journal's hidden folder inside the installation folder; when a
    // leftover holds that name, the next free of kFolderName-2 ... -9.
    static constexpr const char* kFolderName = ".RIZezuvu-journal";
    static constexpr unsigned kFolderNames = 9;
    // A journal that belongs to another installation is renamed to this
    // prefix and a number.
    static constexpr const char* kSetAsideName = ".RIZezuvu-set-aside-";
    static constexpr const char* kRecordName = "journal.txt";
    // An empty file "undone-N" in the journal's folder: a rollback has
    // undone every step from number N on (in the order taken).
    static constexpr const char* kUndoneMark = "undone-";
    // Targets up to KeptLimits::perFile are rewritten in place, as a plain
    // copy would, their old bytes first kept in the journal's data files,
    // "kept-1.dat", "kept-2.dat" ... (see KeptLimits).
    static constexpr const char* kKeptPrefix = "kept-";
    static constexpr const char* kKeptSuffix = ".dat";

    // `owner.folder` is the installation folder with its trailing backslash.
    InstallJournal(JournalFiles& files, const JournalOwner& owner, LeadBytePredicate isLeadByte);
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;
    ~InstallJournal();

    // Declares, before the first of them, the copies a run is about to make,
    // in order: a target that exists now will have its old file kept, one
    // that doesn't is added (one named twice is taken to exist the second
    // time). The old bytes of a target within KeptLimits::perFile are kept
    // in the data files, which are written and flushed first; then all of
    // the declaration is written and flushed at once. Install takes them in
    // this order.
    bool Declare(const std::vector<std::string>& targets);

    // Installs `source` at `target` (inside the installation folder), going
    // by what is there now. A target whose old bytes were kept when
    // it was declared is rewritten in place (unless the new file is too
    // large for that, or the target turned read-only). Another existing
    // target is replaced in one step by a
    // complete copy made in the journal, its old file kept there under a
    // second name, so the target is never half written. On a volume without
    // hard links the old file is moved into the journal once the new copy
    // is complete, and the copy renamed into its place. A read-only target
    // (a rename can't replace it) has its old file moved into the journal
    // first, then the copy is made in place. A missing target is recorded as
    // added and copied. False, with the failing step's code, when the target could
    // not be installed.
    bool Install(const std::string& source, const std::string& target);

    // Moves each of `paths` (files inside the installation folder) into the
    // journal instead of deleting it, in order: all are recorded in one
    // write, then moved. Answers how many were moved; fewer than all leaves
    // the reason of the one that could not be moved in LastError.
    size_t MoveAside(const std::vector<std::string>& paths);

    // Makes the run's changes final: the record goes first (from then on
    // nothing will be rolled back), then, with CleanUp::kNow, the kept files
    // and the folder; with kLater they wait for RemoveLeftovers (deleting the
    // old files of a large update takes a while, which its user need not
    // wait for). False when the record could not be removed; the changes can
    // then still be rolled back. A folder that can't be removed whole is
    // left for the next run, which finishes it.
    enum class CleanUp { kNow, kLater };
    bool Commit(CleanUp cleanUp = CleanUp::kNow);
    // Removes what a run committed with CleanUp::kLater left; best effort.
    void RemoveLeftovers();

    // Undoes every step taken, in the reverse of the order they were taken,
    // going on past a step that fails. True when everything was undone and
    // the record removed; false leaves the journal for the next run.
    // `firstFailure` gets the code of the first step that failed.
    bool RollBack(RollbackListener& listener, unsigned long* firstFailure = nullptr);

    // True when this journal has a folder to roll back or remove.
    bool HasWork() const { return started_; }
    // True when this run has changed the installation.
    bool TookSteps() const { return tookSteps_; }

    const std::string& Folder() const { return folder_; }

    // What a journal folder found by the next run holds.
    enum class Found {
        kNothing,      // no folder of that name
        kCleanUp,      // no record: a finished run's leftovers
        kEmpty,        // a record without a whole step: nothing was done
        kInterrupted,  // a run that never finished: roll it back
        kForeign,      // another installation's: set it aside
        kNotAJournal,  // a file, not a folder: leave it be
        kUnreadable,   // can't be read or parsed (LastError tells)
    };
    // Looks at journal folder number `number` (0: kFolderName) of the
    // installation folder. On kInterrupted, RollBack undoes its steps; on
    // kCleanUp and kEmpty, RollBack removes what is left; on kForeign,
    // SetAside renames it. `foreignOwner` gets a foreign record's owner.
    Found Load(unsigned number, JournalOwner* foreignOwner = nullptr);

    // Renames a foreign journal out of the way; false leaves it where it is.
    bool SetAside(std::string& newName);

    // The path of journal folder number `number`, without a trailing backslash.
    std::string FolderPath(unsigned number) const;

private:
    bool Start();
    bool Record(const JournalLine& line);
    bool AppendSteps(const std::string& text);
    std::string RecordLine(const JournalLine& line) const;
    std::string Header() const;
    enum class Undone { kNothingToDo, kRestored, kRemoved, kFailed };
    Undone UndoStep(const JournalLine& step, RollbackListener& listener,
                    unsigned long* firstFailure);
    bool MarkUndone(size_t from);
    bool IndexKept(std::string& failedPath);
    bool ReadKeptBatch(unsigned batch);
    bool WriteKeptBatch(std::string& data, unsigned& batches);
    std::string KeptPath(unsigned batch) const;
    bool ReadUndoneMarks(size_t steps);
    bool RemoveJournalFolder();
    std::string BackupPath(unsigned index) const;
    std::string FreshPath(unsigned index) const;
    bool MoveToBackup(const std::string& path, unsigned index);
    bool MakeBucket(unsigned index);
    // The line for a step not declared as found: in place of the next
    // declared step when `replacesDeclared`, else after those dealt with.
    JournalLine UnforeseenStep(bool replacesDeclared, bool moved, const std::string& target);
    static constexpr unsigned kBucketSize = 64;
    std::string RecordPath() const;
    bool RelativeToBase(const std::string& path, std::string& relative);
    void Reset();

    JournalFiles& files_;
    JournalOwner owner_;
    LeadBytePredicate isLeadByte_;
    unsigned number_ = 0;             // which of the journal folder names
    std::string folder_;              // with trailing backslash
    std::vector<JournalLine> lines_;  // as recorded (or read back)
    std::vector<size_t> declared_;    // positions in lines_ of declared steps
    size_t resolved_ = 0;             // declared steps taken or replaced so far
    size_t undoneFrom_ = SIZE_MAX;    // steps from here on (taken order) are undone
    unsigned nextIndex_ = 1;
    std::vector<bool> buckets_;  // sub-folders made by this run
    // For an undo of kept steps: which data file holds each entry (read
    // once), and the entries of the one data file read last.
    std::map<unsigned, unsigned> keptWhere_;
    bool keptIndexed_ = false;
    unsigned keptBatch_ = 0;
    std::map<unsigned, KeptFile> kept_;
    bool started_ = false;
    bool headerWritten_ = false;
    bool recordOpen_ = false;
    bool tookSteps_ = false;
    bool leftovers_ = false;  // committed, its folder not yet removed
};
