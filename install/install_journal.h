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
// A step recorded but never taken needs no undo, and its undo finds that
// out by itself: a "moved" step without its old file, or whose old file is
// still the target, was never taken; an "added" step without its mark, or
// whose new file is still in the journal, never put it in place (so a file
// that something else made there since is not the update's).
//
// Pure logic, over JournalFiles (install/journal_files.h). Its units, each
// one concern:
//   install/journal_record.*       the record's text: writer, parser, taken order
//   install/journal_names.*        the journal's folder and file names
//   install/journal_flushes.*      which name changes go to the disk when
//   install/install_journal.cpp    a run: declare, install, move aside, commit
//   install/journal_confinement.cpp  every write lands inside the installation
//   install/journal_recovery.*     rollback, and what earlier runs left
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "install/journal_files.h"
#include "install/journal_flushes.h"
#include "install/journal_record.h"
#include "platform/path_rules.h"

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

// A file a run writes, as its plan worked it out: the full path and the
// folder it goes in, taken as given rather than worked out again here.
struct JournalTarget {
    std::string path;
    std::string folder;
};

class InstallJournal {
public:
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
                              const std::vector<JournalTarget>& targets, std::string& refused);
    // The same for what a journal found by Load (kInterrupted) would undo:
    // the folders and files its record names, and its own sub-folders,
    // which must not be links. Before RollBack.
    bool CheckRecordedWrites(std::string& refused);

    // Declares, before the first of them, the copies a run is about to make,
    // in order: a target that exists now will have its old file kept, one
    // that doesn't is added (one named twice is taken to exist the second
    // time). All of the declaration is written and flushed at once. Install
    // takes them in this order.
    bool Declare(const std::vector<JournalTarget>& targets);

    // Installs `source` at `target` (inside the installation folder), going
    // by what is there now: the new file is copied whole into the journal
    // (a sealed package's bytes checked as they are written), then an
    // existing old file is renamed into the journal, then the new one into
    // its place. A target never holds part of a file, nor bytes that did not
    // match the seal. A missing target is recorded as added. False, with the
    // failing step's code, when the target could not be installed.
    bool Install(const std::string& source, const JournalTarget& target);

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
    bool NamesKeptInOrder() const { return flushes_.NamesKeptInOrder(); }
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
    // A run (install_journal.cpp).
    bool Start();
    bool Record(const JournalLine& line);
    // Writes step lines, after the header when they are the run's first.
    bool AppendSteps(const std::string& text);
    // The line for a step not declared as found: in place of the next
    // declared step when `replacesDeclared`, else after those dealt with.
    JournalLine UnforeseenStep(bool replacesDeclared, bool moved, const std::string& target);
    bool MakeStepFolder(unsigned index);
    bool MoveToBackup(const std::string& path, unsigned index);
    // Renames the new file `fresh` to the missing `target`.
    bool PutInPlace(const std::string& fresh, const std::string& target);
    // `path` relative to the installation folder; false (ERROR_INVALID_DATA)
    // when it does not lie inside it, or lies in the journal's own folders.
    bool RelativeToBase(const std::string& path, std::string& relative);
    // Closes the record, when this run has it open.
    void CloseRecord();
    // Ends what a run holds (its folders) once it is committed or rolled back.
    void EndRun();
    void Reset();
    // Step `index`'s file of kind `suffix` (journal_names::kNewSuffix ...).
    std::string StepFile(unsigned index, const char* suffix) const;
    std::string RecordPath() const;

    // Where writes land (journal_confinement.cpp).
    bool HoldBase();
    bool HoldInside(const std::string& folder);
    bool IsOwnFolder(const std::string& path);

    // Rollback (journal_recovery.cpp).
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

    JournalFiles& files_;
    JournalOwner owner_;
    LeadBytePredicate isLeadByte_;
    JournalFlushes flushes_;
    unsigned number_ = 0;             // which of the journal folder names
    std::string folder_;              // with trailing backslash
    std::vector<JournalLine> lines_;  // as recorded (or read back)
    std::vector<size_t> declared_;    // positions in lines_ of declared steps
    size_t resolved_ = 0;             // declared steps taken or replaced so far
    size_t undoneFrom_ = SIZE_MAX;    // steps from here on (taken order) are undone
    unsigned nextIndex_ = 1;
    std::vector<bool> stepFolders_;      // sub-folders made by this run
    std::string baseFinal_;              // where the installation folder really is, once held
    std::set<std::string> heldFolders_;  // folded paths of the folders held
    bool started_ = false;
    bool headerWritten_ = false;
    bool recordOpen_ = false;
    bool tookSteps_ = false;
    bool leftovers_ = false;  // committed, its folder not yet removed
    unsigned long commitNotFlushed_ = 0;
};
