// Rollback and recovery, in one home: a failed run's rollback, and what the
// next run does with every journal an earlier one left behind.
#include "install/journal_recovery.h"

#include <cstdlib>
#include <cstring>

#include "install/journal_names.h"
#include "platform/error_codes.h"
#include "platform/text_rules.h"

InstallJournal::Found InstallJournal::Load(unsigned number, JournalOwner* foreignOwner) {
    Reset();
    number_ = number;
    folder_ = FolderPath(number) + "\\";
    switch (files_.Probe(FolderPath(number))) {
        case JournalFiles::Kind::Missing:
            return Found::kNothing;
        case JournalFiles::Kind::Folder:
            break;
        case JournalFiles::Kind::File:
            return Found::kNotAJournal;
        case JournalFiles::Kind::Unknown:
            return Found::kUnreadable;
    }
    // A journal's name that is a link (or a junction) leads elsewhere: it
    // is never read, undone or removed through, only stepped around.
    if (!IsOwnFolder(FolderPath(number))) return Found::kNotAJournal;
    started_ = true;
    flushes_.LookAt(owner_.folder);
    switch (files_.Probe(RecordPath())) {
        case JournalFiles::Kind::Missing:
            return Found::kCleanUp;  // committed, not yet cleaned
        case JournalFiles::Kind::File:
            break;
        case JournalFiles::Kind::Folder:
            files_.SetLastError(error_code::kInvalidData);
            return Found::kUnreadable;
        case JournalFiles::Kind::Unknown:
            return Found::kUnreadable;
    }
    std::string text;
    if (!files_.ReadAll(RecordPath(), text)) return Found::kUnreadable;
    JournalRecord record;
    if (!ParseJournalRecord(text, record, isLeadByte_)) {
        files_.SetLastError(error_code::kInvalidData);
        return Found::kUnreadable;
    }
    if (!record.complete || record.lines.empty()) return Found::kEmpty;
    bool ours = SameIgnoringCase(record.owner.productCode, owner_.productCode) &&
                SameIgnoringCase(record.owner.folder, owner_.folder);
    if (!ours) {
        if (foreignOwner != nullptr) *foreignOwner = record.owner;
        started_ = false;
        return Found::kForeign;
    }
    lines_ = record.lines;
    tookSteps_ = true;
    if (!ReadUndoneMarks(StepsInTakenOrder(lines_).size())) return Found::kUnreadable;
    return Found::kInterrupted;
}

bool InstallJournal::SetAside(std::string& newName) {
    for (unsigned number = 1; number < journal_names::kSetAsideNames; ++number) {
        std::string name = owner_.folder + journal_names::kSetAsideName + std::to_string(number);
        JournalFiles::Kind kind = files_.Probe(name);
        if (kind == JournalFiles::Kind::Unknown) return false;
        if (kind != JournalFiles::Kind::Missing) continue;
        if (!files_.Move(FolderPath(number_), name)) return false;
        newName = name;
        return true;
    }
    files_.SetLastError(error_code::kAlreadyExists);
    return false;
}

// Undoes exactly what the step did, found out from the journal's files: a
// step that was never taken (its old file not in the journal, or its new
// file still there) leaves its target as it is, whatever it holds now.
InstallJournal::Undone InstallJournal::UndoStep(const JournalLine& step, RollbackListener& listener,
                                                unsigned long* firstFailure) {
    std::string target = owner_.folder + step.target;
    auto fail = [&]() {
        unsigned long code = files_.LastError();
        if (firstFailure != nullptr && *firstFailure == 0) *firstFailure = code;
        listener.Failed(target, code);
        return Undone::kFailed;
    };
    if (!step.moved) {
        // Without the mark the step never came to putting its new file in
        // place; with the new file still in the journal it never did: what
        // is at the target now is not the update's.
        JournalFiles::Kind mark = files_.Probe(StepFile(step.index, journal_names::kAddingSuffix));
        if (mark == JournalFiles::Kind::Unknown) return fail();
        if (mark == JournalFiles::Kind::Missing) return Undone::kNothingToDo;
        JournalFiles::Kind fresh = files_.Probe(StepFile(step.index, journal_names::kNewSuffix));
        if (fresh == JournalFiles::Kind::Unknown) return fail();
        if (fresh != JournalFiles::Kind::Missing) return Undone::kNothingToDo;
        JournalFiles::Kind kind = files_.Probe(target);
        // Missing: the copy never made it. A folder: the copy never makes one.
        if (kind == JournalFiles::Kind::Missing || kind == JournalFiles::Kind::Folder)
            return Undone::kNothingToDo;
        if (kind != JournalFiles::Kind::File || !files_.Remove(target)) return fail();
        flushes_.Changed(target);
        listener.Removed(target);
        return Undone::kRemoved;
    }
    std::string backup = StepFile(step.index, journal_names::kOldSuffix);
    JournalFiles::Kind kind = files_.Probe(backup);
    if (kind == JournalFiles::Kind::Missing) {
        // Kept by a second name: unless the new file took the target's name
        // (the old one is still there), that name goes back.
        backup = StepFile(step.index, journal_names::kLinkedSuffix);
        kind = files_.Probe(backup);
        bool same = false;
        if (kind == JournalFiles::Kind::File && files_.Probe(target) == JournalFiles::Kind::File) {
            if (!files_.SameFile(target, backup, same)) return fail();
            // The second name goes, so that this undo, done again after an
            // earlier step's undo has put another file there, finds nothing.
            if (same) {
                if (!files_.Remove(backup)) return Undone::kNameLeft;
                flushes_.Changed(backup);
                return Undone::kNothingToDo;
            }
        }
    }
    // No old file: the step was recorded but never taken, or was undone already.
    if (kind == JournalFiles::Kind::Missing) return Undone::kNothingToDo;
    if (kind != JournalFiles::Kind::File) return fail();
    // Whatever the update put in its place goes first; a target that
    // something else removed meanwhile is simply restored.
    if (!files_.Remove(target)) return fail();
    flushes_.Changed(target);
    if (!files_.Move(backup, target)) return fail();
    flushes_.Changed(backup);
    listener.Restored(target);
    return Undone::kRestored;
}

bool InstallJournal::MarkUndone(size_t from) {
    std::string mark = folder_ + journal_names::kUndoneMark + std::to_string(from);
    if (files_.Probe(mark) == JournalFiles::Kind::File) return true;
    if (!files_.CreateMark(mark)) return false;
    flushes_.Changed(mark);
    return true;
}

// The furthest a rollback that was itself interrupted got.
bool InstallJournal::ReadUndoneMarks(size_t steps) {
    undoneFrom_ = SIZE_MAX;
    std::vector<std::string> names;
    if (!files_.List(folder_.substr(0, folder_.size() - 1), names)) return false;
    const size_t prefix = std::strlen(journal_names::kUndoneMark);
    for (const std::string& name : names) {
        if (name.compare(0, prefix, journal_names::kUndoneMark) != 0) continue;
        const char* digits = name.c_str() + prefix;
        char* end = nullptr;
        unsigned long from = std::strtoul(digits, &end, 10);
        if (end == digits || *end != '\0' || from > steps) {
            files_.SetLastError(error_code::kInvalidData);
            return false;
        }
        if (from < undoneFrom_) undoneFrom_ = from;
    }
    return true;
}

bool InstallJournal::RollBack(RollbackListener& listener, unsigned long* firstFailure) {
    if (firstFailure != nullptr) *firstFailure = 0;
    if (!started_) {
        EndRun();
        return true;
    }
    CloseRecord();
    // The same order whether the steps are this run's or read back from
    // disk: undoing is the same in both.
    std::vector<JournalLine> order = StepsInTakenOrder(lines_);
    size_t end = undoneFrom_ < order.size() ? undoneFrom_ : order.size();
    bool complete = true;
    bool removedSinceMark = false;
    for (size_t i = end; i-- > 0;) {
        // Undoing an added file's step again would delete what a restore
        // brought back: before a restore follows such steps, the progress so
        // far is marked, so that a rollback interrupted after it never
        // undoes them again.
        // A mark must not pass over a step that failed: after a failure the
        // pass goes on only up to the next restore, and the next run goes
        // on from the last mark.
        if (order[i].moved && removedSinceMark) {
            if (!complete || !MarkUndone(i + 1)) {
                if (complete && firstFailure != nullptr && *firstFailure == 0)
                    *firstFailure = files_.LastError();
                if (complete)
                    listener.Failed(folder_ + journal_names::kUndoneMark, files_.LastError());
                EndRun();
                return false;
            }
            removedSinceMark = false;
        }
        Undone undone = UndoStep(order[i], listener, firstFailure);
        // Where nothing orders name changes, a power loss could otherwise
        // take back the halves of several restores at once.
        flushes_.Settle();
        if (undone == Undone::kFailed) complete = false;
        // An added file's step, whatever it found, a failed step (it may
        // have removed its target first) and one whose second name is left
        // would act again on a file that a later restore brings back.
        if (!order[i].moved || undone == Undone::kFailed || undone == Undone::kNameLeft)
            removedSinceMark = true;
    }
    EndRun();
    if (!complete) return false;
    // Only a fully undone run may lose its record.
    if (!files_.Remove(RecordPath())) {
        if (firstFailure != nullptr && *firstFailure == 0) *firstFailure = files_.LastError();
        listener.Failed(RecordPath(), files_.LastError());
        return false;
    }
    // The record goes to the disk before the marks do: a record without the
    // mark of how far its rollback got would undo steps again.
    flushes_.Changed(RecordPath());
    flushes_.Settle();
    // What is left is clean-up; a part that can't go now is named, and the
    // next run finishes it.
    std::string left;
    if (!RemoveJournalFolder(&left)) listener.LeftInJournal(left, files_.LastError());
    Reset();
    return true;
}

// Removes what is left of a journal whose record is gone. Best effort: a file
// that stays behind holds no step, and the next run removes it. `left`, when
// given, names the first thing that stayed (the reason in LastError).
bool InstallJournal::RemoveJournalFolder(std::string* left) {
    std::string folder = folder_.substr(0, folder_.size() - 1);
    std::vector<std::string> names;
    std::string firstLeft;
    unsigned long firstCode = 0;
    auto stays = [&](const std::string& path) {
        if (firstLeft.empty()) {
            firstLeft = path;
            firstCode = files_.LastError();
        }
    };
    // Only the journal's own folders are emptied: not one that was put in
    // its place, nor a link inside it.
    if (!IsOwnFolder(folder)) {
        stays(folder);
        names.clear();
    } else if (!files_.List(folder, names)) {
        stays(folder);
    }
    for (const std::string& name : names) {
        std::string path = folder_ + name;
        if (files_.Probe(path) != JournalFiles::Kind::Folder) {
            if (!files_.Remove(path)) stays(path);
            continue;
        }
        if (!IsOwnFolder(path)) {
            stays(path);
            continue;
        }
        std::vector<std::string> kept;
        if (!files_.List(path, kept)) stays(path);
        for (const std::string& file : kept) {
            if (!files_.Remove(path + "\\" + file)) stays(path + "\\" + file);
        }
        if (!files_.RemoveFolder(path)) stays(path);
    }
    if (!files_.RemoveFolder(folder)) stays(folder);
    if (firstLeft.empty()) return true;
    if (left != nullptr) *left = firstLeft;
    files_.SetLastError(firstCode);
    return false;
}

bool RecoverInterruptedUpdates(JournalFiles& files, const JournalOwner& owner,
                               LeadBytePredicate isLeadByte, RecoveryLog& log) {
    for (unsigned number = 0; number < journal_names::kFolderNames; ++number) {
        InstallJournal journal(files, owner, isLeadByte);
        JournalOwner foreign;
        InstallJournal::Found found = journal.Load(number, &foreign);
        std::string folder = journal.FolderPath(number);
        switch (found) {
            case InstallJournal::Found::kNothing:
            case InstallJournal::Found::kNotAJournal:
                break;
            case InstallJournal::Found::kUnreadable:
                log.JournalUnreadable(folder);
                return false;
            case InstallJournal::Found::kForeign: {
                std::string newName;
                journal.SetAside(newName);
                log.ForeignJournalSetAside(folder, foreign, newName);
                break;
            }
            case InstallJournal::Found::kCleanUp:
            case InstallJournal::Found::kEmpty:
            case InstallJournal::Found::kInterrupted: {
                std::string refused;
                if (found == InstallJournal::Found::kInterrupted &&
                    !journal.CheckRecordedWrites(refused)) {
                    LastErrorKept failure(files);
                    log.WriteRefused(refused, files.LastError() == JournalFiles::kLeadsOutside);
                    return false;
                }
                unsigned long failure = 0;
                if (!journal.RollBack(log, &failure)) {
                    log.RollbackIncomplete(folder);
                    files.SetLastError(failure != 0 ? failure : error_code::kInvalidData);
                    return false;
                }
                if (found == InstallJournal::Found::kInterrupted) log.InterruptedRolledBack();
                if (found == InstallJournal::Found::kEmpty) log.EmptyJournalRemoved(folder);
                if (files.Probe(folder) != JournalFiles::Kind::Missing) log.LeftoverKept(folder);
                break;
            }
        }
    }
    return true;
}
