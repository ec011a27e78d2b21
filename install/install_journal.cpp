#include "install/install_journal.h"

#include <set>

#include "install/journal_names.h"
#include "platform/error_codes.h"
#include "platform/text_rules.h"

InstallJournal::InstallJournal(JournalFiles& files, const JournalOwner& owner,
                               LeadBytePredicate isLeadByte)
    : files_(files),
      owner_(owner),
      isLeadByte_(isLeadByte),
      flushes_(files, isLeadByte),
      folder_(FolderPath(0) + "\\") {}

InstallJournal::~InstallJournal() {
    CloseRecord();
    files_.ReleaseFolders();
}

void InstallJournal::CloseRecord() {
    if (!recordOpen_) return;
    files_.CloseRecord();
    recordOpen_ = false;
}

std::string InstallJournal::FolderPath(unsigned number) const {
    return JournalFolderPath(owner_.folder, number);
}

std::string InstallJournal::StepFile(unsigned index, const char* suffix) const {
    return StepFilePath(folder_, index, suffix);
}

bool InstallJournal::MakeStepFolder(unsigned index) {
    unsigned bucket = (index - 1) / journal_names::kStepsPerFolder;
    if (bucket < stepFolders_.size() && stepFolders_[bucket]) return true;
    std::string folder = StepFolderPath(folder_, index);
    if (files_.Probe(folder) == JournalFiles::Kind::Missing) {
        if (!files_.CreateJournalFolder(folder)) return false;
        flushes_.Changed(folder);
    }
    if (bucket >= stepFolders_.size()) stepFolders_.resize(bucket + 1, false);
    stepFolders_[bucket] = true;
    return true;
}

bool InstallJournal::MoveToBackup(const std::string& path, unsigned index) {
    if (!MakeStepFolder(index) || !files_.Move(path, StepFile(index, journal_names::kOldSuffix)))
        return false;
    flushes_.Changed(path);
    flushes_.Changed(StepFile(index, journal_names::kOldSuffix));
    return true;
}

std::string InstallJournal::RecordPath() const { return folder_ + journal_names::kRecordName; }

// `path` relative to the installation folder; false (ERROR_INVALID_DATA)
// when it does not lie inside it, or lies in the journal's own folders.
bool InstallJournal::RelativeToBase(const std::string& path, std::string& relative) {
    const std::string& base = owner_.folder;
    if (path.compare(0, base.size(), base) != 0 ||
        !IsContainedRelativePath(path.substr(base.size()), isLeadByte_) ||
        IsJournalFolderName(path.substr(base.size()), isLeadByte_)) {
        files_.SetLastError(error_code::kInvalidData);
        return false;
    }
    relative = path.substr(base.size());
    return true;
}

// The folder and its record are created before the first change of a run,
// under the first journal name that is free: a folder that is already there
// belongs to another run and is never reused.
bool InstallJournal::Start() {
    if (started_) return true;
    for (unsigned number = 0; number < journal_names::kFolderNames; ++number) {
        std::string folder = FolderPath(number);
        switch (files_.Probe(folder)) {
            case JournalFiles::Kind::Missing:
                flushes_.LookAt(owner_.folder);
                if (!files_.CreateJournalFolder(folder)) return false;
                number_ = number;
                folder_ = folder + "\\";
                started_ = true;
                flushes_.Changed(folder);
                if (!files_.CreateRecord(RecordPath())) return false;
                flushes_.Changed(RecordPath());
                recordOpen_ = true;
                return true;
            case JournalFiles::Kind::Unknown:
                return false;
            default:
                break;
        }
    }
    files_.SetLastError(error_code::kAlreadyExists);
    return false;
}

// The record is written before the step is taken: a step whose line did
// not reach the disk is not taken.
bool InstallJournal::Record(const JournalLine& line) {
    if (!AppendSteps(JournalLineText(line))) return false;
    lines_.push_back(line);
    return true;
}

// Writes step lines, after the header when they are the run's first.
bool InstallJournal::AppendSteps(const std::string& text) {
    if (!Start() ||
        !files_.AppendRecord((headerWritten_ ? std::string() : JournalHeaderText(owner_)) + text))
        return false;
    headerWritten_ = true;
    return true;
}

bool InstallJournal::Declare(const std::vector<JournalTarget>& targets) {
    if (!targets.empty() && (started_ || !lines_.empty())) {
        // Declarations come before every other step of a run.
        files_.SetLastError(error_code::kInvalidData);
        return false;
    }
    std::vector<JournalLine> steps;
    // A guess that only saves a line later: Install goes by what it finds.
    std::set<std::string> seen;
    std::string text;
    for (const JournalTarget& each : targets) {
        const std::string& target = each.path;
        JournalLine step;
        if (!RelativeToBase(target, step.target)) return false;
        if (!seen.insert(FoldedName(step.target)).second) {
            step.moved = true;
        } else {
            switch (files_.Probe(target)) {
                case JournalFiles::Kind::Missing:
                    break;
                case JournalFiles::Kind::File:
                    step.moved = true;
                    break;
                case JournalFiles::Kind::Folder:
                    continue;  // never replaced: its copy fails by itself
                case JournalFiles::Kind::Unknown:
                    return false;
            }
        }
        step.index = nextIndex_++;
        text += JournalLineText(step);
        steps.push_back(step);
    }
    if (steps.empty()) return true;
    if (!AppendSteps(text)) return false;
    for (const JournalLine& step : steps) {
        declared_.push_back(lines_.size());
        lines_.push_back(step);
    }
    return true;
}

JournalLine InstallJournal::UnforeseenStep(bool replacesDeclared, bool moved,
                                           const std::string& target) {
    JournalLine line;
    line.place = replacesDeclared ? JournalLine::Place::kInstead : JournalLine::Place::kAfter;
    line.position = static_cast<unsigned>(replacesDeclared ? resolved_ + 1 : resolved_);
    line.moved = moved;
    line.index = nextIndex_++;
    line.target = target;
    return line;
}

bool InstallJournal::Install(const std::string& source, const JournalTarget& to) {
    const std::string& target = to.path;
    std::string relative;
    if (!RelativeToBase(target, relative)) return false;
    // A folder that was missing at the check and is there now is held and
    // checked before anything is written in it.
    if (!HoldBase() || !HoldInside(to.folder)) return false;
    // Copies are taken in the order they were declared; a copy that is not
    // the next one declared is recorded as it comes.
    const JournalLine* declared = nullptr;
    if (resolved_ < declared_.size() && lines_[declared_[resolved_]].target == relative)
        declared = &lines_[declared_[resolved_]];
    JournalFiles::Kind found = files_.Probe(target);
    if (found == JournalFiles::Kind::Unknown) return false;
    if (found == JournalFiles::Kind::Folder) {
        // A folder is never replaced; the copy onto it fails by itself, with
        // the system's own code, and makes nothing.
        if (declared != nullptr) ++resolved_;
        return files_.Copy(source, target);
    }
    bool exists = found == JournalFiles::Kind::File;
    JournalLine step;
    if (declared != nullptr && declared->moved == exists) {
        // As declared: already on the disk.
        step = *declared;
    } else {
        // What the declaration foresaw is no longer so (a purge took the
        // file, or an earlier copy made it): record what is there now.
        step = UnforeseenStep(declared != nullptr, exists, relative);
        if (!Record(step)) return false;
    }
    if (declared != nullptr) ++resolved_;
    tookSteps_ = true;
    // The new file is made whole in the journal first, then takes the
    // target's name: the target never holds a part of a file, and a write
    // never goes into a file that another name (or a link from elsewhere)
    // shares. An old file held open against renaming is found before
    // anything of it changed, and before its new copy is made: a second
    // name of it could not be taken back while it is held.
    if (exists && !files_.CanReplace(target)) return false;
    std::string fresh = StepFile(step.index, journal_names::kNewSuffix);
    if (!MakeStepFolder(step.index) || !files_.Copy(source, fresh)) return false;
    flushes_.Changed(fresh);
    if (!exists) {
        if (!files_.CreateMark(StepFile(step.index, journal_names::kAddingSuffix))) return false;
        flushes_.Changed(StepFile(step.index, journal_names::kAddingSuffix));
        // Everything so far goes to the disk before the new file takes its
        // name. (A flush that fails leaves the step to go on: the system
        // wrote what it could, and the run's own result is what the user
        // sees.)
        flushes_.Settle();
        return PutInPlace(fresh, target);
    }
    // The old file keeps a second name in the journal and the new one is
    // renamed over it: the target's name is never missing, and the rename
    // finds a name that exists (Wine looks through the whole folder for
    // one that doesn't).
    if (files_.Link(target, StepFile(step.index, journal_names::kLinkedSuffix))) {
        flushes_.Changed(StepFile(step.index, journal_names::kLinkedSuffix));
        flushes_.Settle();
        if (files_.Replace(fresh, target)) {
            flushes_.Changed(fresh);
            flushes_.Changed(target);
            return true;
        }
    }
    // No hard links on this volume, or a target that can't be renamed over
    // (read-only, or a DLL another program has loaded): the old file is
    // renamed into the journal, which Windows allows even then, and the new
    // one into its place.
    if (!MoveToBackup(target, step.index)) return false;
    flushes_.Settle();
    return PutInPlace(fresh, target);
}

bool InstallJournal::PutInPlace(const std::string& fresh, const std::string& target) {
    if (!files_.Move(fresh, target)) return false;
    flushes_.Changed(fresh);
    flushes_.Changed(target);
    return true;
}

size_t InstallJournal::MoveAside(const std::vector<std::string>& paths) {
    std::vector<JournalLine> steps;
    std::string text;
    for (const std::string& path : paths) {
        std::string relative;
        if (!RelativeToBase(path, relative)) break;
        steps.push_back(UnforeseenStep(false, true, relative));
        text += JournalLineText(steps.back());
    }
    if (steps.empty()) return 0;
    unsigned long refusal = steps.size() < paths.size() ? files_.LastError() : 0;
    if (!AppendSteps(text)) return 0;
    lines_.insert(lines_.end(), steps.begin(), steps.end());
    tookSteps_ = true;
    for (size_t moved = 0; moved < steps.size(); ++moved) {
        // An image that something else removed since it was listed is gone
        // already: its step finds no old file to undo.
        if (!MoveToBackup(paths[moved], steps[moved].index) &&
            files_.LastError() != error_code::kFileNotFound)
            return moved;
        // One image at a time: a power loss could otherwise take back the
        // halves of several renames at once.
        flushes_.Settle();
    }
    if (refusal != 0) files_.SetLastError(refusal);
    return steps.size();
}

bool InstallJournal::Commit(CleanUp cleanUp) {
    if (!started_) {
        EndRun();
        return true;
    }
    CloseRecord();
    flushes_.Settle();
    if (!files_.Remove(RecordPath())) return false;
    // The update is final now; what is left in the folder is only clean-up,
    // which the next run finishes when it can't be done now. But a file
    // system writes a folder's changes lazily: until the record's folder is
    // flushed a power loss can bring the record back, and the next run would
    // roll back an update its user was told had succeeded. A flush the
    // system refuses can't be helped by undoing the update (the record is
    // gone, and a rollback cut short then would leave a mix): the update
    // stands and the caller says so.
    commitNotFlushed_ = 0;
    if (!files_.FlushFolder(folder_.substr(0, folder_.size() - 1)))
        commitNotFlushed_ = files_.LastError() != 0 ? files_.LastError() : error_code::kInvalidData;
    EndRun();
    leftovers_ = true;
    if (cleanUp == CleanUp::kNow) RemoveLeftovers();
    Reset();
    return true;
}

void InstallJournal::EndRun() {
    heldFolders_.clear();
    baseFinal_.clear();
    files_.ReleaseFolders();
}

void InstallJournal::RemoveLeftovers() {
    if (!leftovers_) return;
    RemoveJournalFolder();
    leftovers_ = false;
}

void InstallJournal::Reset() {
    flushes_.Forget();
    undoneFrom_ = SIZE_MAX;
    headerWritten_ = false;
    lines_.clear();
    declared_.clear();
    resolved_ = 0;
    stepFolders_.clear();
    started_ = false;
}
