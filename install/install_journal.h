// The journal that makes an update all or nothing. Every change that the
// content copy makes to the installation folder goes through it and is
// recorded on disk before it is made (write-ahead), so that a failed run, or
// the next run after one that was killed, can put every file back.
//
// Every change is made by name, never by writing into an existing file: a
// new file is written whole under a fresh name in the journal's folder, then
// the old file (if any) gets a second name in the journal and the new one is
// renamed over it (or, where that can't be, the old file is renamed into the
// journal and the new one into its place). So a write never lands in a file object that has other
// names, or that a link in the installation folder shares with a file
// elsewhere; an old file that another program has loaded can still be
// renamed aside; and undoing a step is two renames.
//
// Pure logic: the file system is reached through JournalFiles, so the order
// of steps, the record format and the rollback are tested without the OS.
//
// The record (journal.txt in the journal's folder) is text:
//
//   RIZezuvu journal 3
//   product {product code}
//   folder C:\Program Files\Orvexa\   (the installation folder)
//   moved 1 player.dll            a declared copy over an existing file: the
//                                 new file made as 1.new, the old one kept as
//                                 1.linked (a second name) or 1.old (renamed)
//   added 2 Skins\new.skin        a declared copy onto a missing file, made as 2.new
//                                 and marked by an empty 2.adding as it takes its name
//   after 1 moved 3 update.bin    a step taken after the first declared one
//   instead 2 added 4 new.skin    declared step 2, replaced by what was found
//
// Declared steps are written in one go before the first of them is taken,
// and are taken in their order. A step the declaration did not foresee (a
// firmware purge, or a declared copy whose target has changed since) names
// its place among them, so that a record read back from disk gives the
// exact order in which the steps were taken: recovery undoes them in the
// very order an in-run rollback does. A step recorded but never taken needs
// no undo, and its undo finds that out by itself: a "moved" step without its
// old file, or whose old file is still the target, was never taken; an "added" step without its
// mark, or whose new file is still in the journal, never put it in place (so a file that something
// else made there since is not the update's).
#pragma once

#include <cstdint>
#include <set>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/path_rules.h"

// The few file operations the journal needs. Each answers success as a bool
// and leaves the reason for LastError(), with the system's codes.
class JournalFiles {
public:
    enum class Kind { Missing, File, Folder, Unknown };
    // What the journal answers for a write that a link would carry out of
    // the installation folder: ERROR_CANT_ACCESS_FILE.
    static constexpr unsigned long kLeadsOutside = 1920;

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
    // Every step is undone, but `path` in the journal's folder could not be
    // removed (`code`: held open by another program, say); the next run
    // removes it.
    virtual void LeftInJournal(const std::string& path, unsigned long code) = 0;
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
    // The step's number: its new file is made as N.new, a moved step's old
    // file kept as N.old.
    unsigned index = 0;
    std::string target;  // relative to the installation folder
};

// A record read back from disk.
struct JournalRecord {
    bool complete = false;  // false: torn before its header was whole
    JournalOwner owner;
    std::vector<JournalLine> lines;
};

// Parses a whole record. False when it is not a record of ours or a
// complete line is malformed; a last line without its line feed (or a tail
// of zero bytes) was never flushed whole, so its step was never taken, and
// it is ignored. A record torn within its header parses as not complete.
bool ParseJournalRecord(const std::string& text, JournalRecord& record,
                        LeadBytePredicate isLeadByte);

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

    // `owner.folder` is the installation folder with its trailing backslash.
    InstallJournal(JournalFiles& files, const JournalOwner& owner, LeadBytePredicate isLeadByte);
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;
    ~InstallJournal();

    // Checks, before anything changes, that every write of the run lands
    // inside the installation folder, judged by where the objects really
    // are, not by the paths' text: the installation folder, each of
    // `folders` (the other folders the run writes in: group and purged
    // folders) and the folder of each of `targets` are held (see
    // JournalFiles::HoldFolder) and must lie inside it once every link is
    // followed, and each existing file of `targets` too. A link whose final
    // target lies inside is followed. False, with `refused` naming the
    // path, when one lies outside (ERROR_CANT_ACCESS_FILE) or can't be
    // looked at (its own code). The folders stay held until Commit or
    // RollBack ends the run.
    bool CheckWhereWritesLand(const std::vector<std::string>& folders,
                              const std::vector<std::string>& targets, std::string& refused);
    // The same for what a journal found by Load (kInterrupted) would undo:
    // the folders and files its record names, and its own sub-folders,
    // which must not be links. Before RollBack.
    bool CheckRecordedWrites(std::string& refused);

    // Declares, before the first of them, the copies a run is about to make,
    // in order: a target that exists now will have its old file kept, one
    // that doesn't is added (one named twice is taken to exist the second
    // time). All of the declaration is written and flushed at once. Install
    // takes them in this order.
    bool Declare(const std::vector<std::string>& targets);

    // Installs `source` at `target` (inside the installation folder), going
    // by what is there now: the new file is copied whole into the journal
    // (a sealed package's bytes checked as they are written), then an
    // existing old file is renamed into the journal, then the new one into
    // its place. A target never holds part of a file, nor bytes that did not
    // match the seal. A missing target is recorded as added. False, with the
    // failing step's code, when the target could not be installed.
    bool Install(const std::string& source, const std::string& target);

    // Moves each of `paths` (files inside the installation folder) into the
    // journal instead of deleting it, in order: all are recorded in one
    // write, then moved. Answers how many were moved; fewer than all leaves
    // the reason of the one that could not be moved in LastError.
    size_t MoveAside(const std::vector<std::string>& paths);

    // Makes the run's changes final: the record goes first (from then on
    // nothing will be rolled back), then, with CleanUp::kNow, the old files
    // and the folder; with kLater they wait for RemoveLeftovers (deleting the
    // old files of a large update takes a while, which its user need not
    // wait for). False when the record could not be removed; the changes can
    // then still be rolled back. A folder that can't be removed whole is
    // left for the next run, which finishes it. The record's removal is
    // forced out to the disk before this answers (see CommitNotFlushed).
    enum class CleanUp { kNow, kLater };
    bool Commit(CleanUp cleanUp = CleanUp::kNow);
    // Removes what a run committed with CleanUp::kLater left; best effort.
    void RemoveLeftovers();

    // Undoes every step taken, in the reverse of the order they were taken,
    // going on past a step that fails. True when everything was undone and
    // the record removed; false leaves the journal for the next run.
    // `firstFailure` gets the code of the first step that failed.
    bool RollBack(RollbackListener& listener, unsigned long* firstFailure = nullptr);

    // Nonzero when the last Commit removed the record but the system refused
    // to force that out to the disk (the system's code): the update stands,
    // but a power loss in the next seconds could still bring the record
    // back, and the next run would roll the update back.
    unsigned long CommitNotFlushed() const { return commitNotFlushed_; }
    // False when the installation is on a volume that does not keep the
    // order of name changes (see JournalFiles::KeepsNameOrder): each step
    // that must reach the disk before the next then has its folders flushed.
    bool NamesKeptInOrder() const { return ordered_; }
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
    // Notes a name made, renamed or removed at `path` (on a volume that does
    // not keep their order), and makes every name noted so far durable.
    void Changed(const std::string& path);
    bool Settle();
    bool Record(const JournalLine& line);
    bool AppendSteps(const std::string& text);
    std::string RecordLine(const JournalLine& line) const;
    std::string Header() const;
    // kNameLeft: the step was never taken, but the old file's second name
    // could not be removed, so that undoing the step again would no longer
    // find it so once an earlier step's undo has put a file back there.
    enum class Undone { kNothingToDo, kRestored, kRemoved, kNameLeft, kFailed };
    Undone UndoStep(const JournalLine& step, RollbackListener& listener,
                    unsigned long* firstFailure);
    bool MarkUndone(size_t from);
    bool ReadUndoneMarks(size_t steps);
    // Removes the journal's folder; false leaves `left` naming what is left.
    bool RemoveJournalFolder(std::string* left = nullptr);
    std::string BucketPath(unsigned index) const;
    std::string StepFilePath(unsigned index, const char* suffix) const;
    std::string BackupPath(unsigned index) const;
    std::string FreshPath(unsigned index) const;
    std::string LinkedPath(unsigned index) const;
    std::string AddingMarkPath(unsigned index) const;
    bool MoveToBackup(const std::string& path, unsigned index);
    // Renames the new file `fresh` to the missing `target`.
    bool PutInPlace(const std::string& fresh, const std::string& target);
    bool MakeBucket(unsigned index);
    // The line for a step not declared as found: in place of the next
    // declared step when `replacesDeclared`, else after those dealt with.
    JournalLine UnforeseenStep(bool replacesDeclared, bool moved, const std::string& target);
    // Ends what a run holds (its folders) once it is committed or rolled back.
    void EndRun();
    bool HoldBase();
    bool HoldInside(const std::string& folder);
    bool IsOwnFolder(const std::string& path);
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
    std::vector<bool> buckets_;          // sub-folders made by this run
    std::string baseFinal_;              // where the installation folder really is, once held
    std::set<std::string> heldFolders_;  // folded paths of the folders held
    bool started_ = false;
    bool headerWritten_ = false;
    bool recordOpen_ = false;
    bool tookSteps_ = false;
    bool leftovers_ = false;  // committed, its folder not yet removed
    unsigned long commitNotFlushed_ = 0;
    bool ordered_ = true;
    std::set<std::string> unsettled_;  // folders with name changes not yet flushed
};
