#include "install/install_journal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

// The system's codes, spelled out: this file includes no system header.
constexpr unsigned long kErrorInvalidData = 13;
constexpr unsigned long kErrorAlreadyExists = 183;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool IsContainedRelativePath(const std::string& relative, bool (*isLeadByte)(unsigned char)) {
    if (relative.empty() || IsSeparator(relative[0])) return false;
    int depth = 0;
    std::string component;
    auto endComponent = [&]() {
        if (component == "..") {
            if (--depth < 0) return false;
        } else if (!component.empty() && component != ".") {
            ++depth;
        }
        component.clear();
        return true;
    };
    for (size_t i = 0; i < relative.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(relative[i]);
        if (isLeadByte != nullptr && isLeadByte(c) && i + 1 < relative.size()) {
            component += relative[i];
            component += relative[++i];
            continue;
        }
        // A colon names a drive, a device or an alternate data stream.
        if (c < 0x20 || c == ':') return false;
        if (IsSeparator(static_cast<char>(c))) {
            if (!endComponent()) return false;
        } else {
            component += static_cast<char>(c);
        }
    }
    if (!endComponent()) return false;
    // Names that Windows trims to ".." ("..." or ".. ") are refused outright.
    for (size_t start = 0; start <= relative.size();) {
        size_t end = relative.find_first_of("\\/", start);
        if (end == std::string::npos) end = relative.size();
        std::string name = relative.substr(start, end - start);
        if (name.size() > 2 && name.find_first_not_of(". ") == std::string::npos) return false;
        start = end + 1;
    }
    return true;
}

bool ParseJournalRecord(const std::string& text, std::vector<JournalLine>& lines) {
    const size_t headerLength = std::strlen(InstallJournal::kHeader);
    if (text.compare(0, headerLength, InstallJournal::kHeader) != 0) return false;
    lines.clear();
    size_t start = headerLength;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // torn last line: its step never ran
        std::string line = text.substr(start, end - start);
        start = end + 1;
        JournalLine parsed = {false, 0, std::string()};
        if (line.compare(0, 6, "added ") == 0) {
            parsed.target = line.substr(6);
        } else if (line.compare(0, 6, "moved ") == 0) {
            const char* number = line.c_str() + 6;
            char* after = nullptr;
            unsigned long index = std::strtoul(number, &after, 10);
            if (after == number || *after != ' ' || index == 0 || index > 0xFFFFFFu) return false;
            parsed.moved = true;
            parsed.index = static_cast<unsigned>(index);
            parsed.target = after + 1;
        } else {
            return false;
        }
        if (!IsContainedRelativePath(parsed.target, nullptr)) return false;
        lines.push_back(parsed);
    }
    return true;
}

InstallJournal::InstallJournal(JournalFiles& files, const std::string& installBase)
    : files_(files), base_(installBase), folder_(installBase + kFolderName + "\\") {}

InstallJournal::~InstallJournal() {
    if (recordOpen_) files_.CloseRecord();
}

// Moved-aside files go into sub-folders of kBucketSize each: a folder that
// gains a new name is searched whole by some file systems (and by Wine on
// every one), so small folders keep each move cheap.
std::string InstallJournal::BackupPath(unsigned index) const {
    return folder_ + std::to_string((index - 1) / kBucketSize) + "\\" + std::to_string(index) +
           ".old";
}

bool InstallJournal::MakeBucket(unsigned index) {
    unsigned bucket = (index - 1) / kBucketSize;
    if (!buckets_.insert(bucket).second) return true;
    std::string folder = folder_ + std::to_string(bucket);
    if (files_.Probe(folder) == JournalFiles::Kind::Missing && !files_.CreateHiddenFolder(folder)) {
        buckets_.erase(bucket);
        return false;
    }
    return true;
}

bool InstallJournal::MoveToBackup(const std::string& path, unsigned index) {
    return MakeBucket(index) && files_.Move(path, BackupPath(index));
}

std::string InstallJournal::RecordPath() const { return folder_ + kRecordName; }

std::string InstallJournal::FolderPath() const { return folder_.substr(0, folder_.size() - 1); }

// `path` relative to the installation folder; false (ERROR_INVALID_DATA)
// when it does not lie inside it.
bool InstallJournal::RelativeToBase(const std::string& path, std::string& relative) {
    if (path.compare(0, base_.size(), base_) != 0 ||
        !IsContainedRelativePath(path.substr(base_.size()), nullptr)) {
        files_.SetLastError(kErrorInvalidData);
        return false;
    }
    relative = path.substr(base_.size());
    return true;
}

bool InstallJournal::Exists() { return files_.Probe(FolderPath()) != JournalFiles::Kind::Missing; }

// The folder and its record are created before the first change of a run.
// A folder that is already there belongs to another run and is never reused.
bool InstallJournal::Start() {
    if (started_) return true;
    std::string folder = FolderPath();
    if (files_.Probe(folder) != JournalFiles::Kind::Missing) {
        files_.SetLastError(kErrorAlreadyExists);
        return false;
    }
    if (!files_.CreateHiddenFolder(folder)) return false;
    started_ = true;
    if (!files_.CreateRecord(RecordPath())) return false;
    recordOpen_ = true;
    return files_.AppendRecord(kHeader);
}

// Every step's target has passed RelativeToBase, so the record always
// parses back.
bool InstallJournal::Record(const Step& step) {
    if (!Start()) return false;
    if (!files_.AppendRecord(RecordLine(step))) return false;
    taken_.push_back(steps_.size());
    steps_.push_back(step);
    return true;
}

std::string InstallJournal::RecordLine(const Step& step) {
    return step.kind == StepKind::Moved
               ? "moved " + std::to_string(step.index) + " " + step.target + "\n"
               : "added " + step.target + "\n";
}

bool InstallJournal::Declare(const std::vector<std::string>& targets) {
    std::vector<Step> steps;
    std::set<std::string> seen;
    std::string lines;
    for (const std::string& target : targets) {
        std::string relative;
        if (!RelativeToBase(target, relative)) return false;
        Step step = {StepKind::Added, 0, relative, false};
        if (!seen.insert(relative).second) {
            step.kind = StepKind::Moved;
        } else {
            switch (files_.Inspect(target, &step.readOnly)) {
                case JournalFiles::Kind::Missing:
                    break;
                case JournalFiles::Kind::File:
                    step.kind = StepKind::Moved;
                    break;
                case JournalFiles::Kind::Folder:
                    continue;  // never replaced: its copy fails by itself
                case JournalFiles::Kind::Unknown:
                    return false;
            }
        }
        if (step.kind == StepKind::Moved) step.index = nextIndex_++;
        lines += RecordLine(step);
        steps.push_back(step);
    }
    if (steps.empty()) return true;
    if (!Start() || !files_.AppendRecord(lines)) return false;
    for (const Step& step : steps) {
        declared_[step.target].push_back(steps_.size());
        steps_.push_back(step);
    }
    return true;
}

// The step for `target`: the one declared for it, or one recorded now.
bool InstallJournal::NextStep(const std::string& target, Step& step) {
    std::string relative;
    if (!RelativeToBase(target, relative)) return false;
    auto declared = declared_.find(relative);
    if (declared != declared_.end() && !declared->second.empty()) {
        size_t position = declared->second.front();
        declared->second.pop_front();
        taken_.push_back(position);
        step = steps_[position];
        return true;
    }
    step = {StepKind::Added, 0, relative, false};
    switch (files_.Inspect(target, &step.readOnly)) {
        case JournalFiles::Kind::Missing:
            return Record(step);
        case JournalFiles::Kind::File:
            step.kind = StepKind::Moved;
            step.index = nextIndex_++;
            return Record(step);
        case JournalFiles::Kind::Folder:
            // A folder is never replaced; the copy onto it fails by itself,
            // with the system's own code.
            step.kind = StepKind::None;
            return true;
        case JournalFiles::Kind::Unknown:
            break;
    }
    return false;
}

// Moves the target of a Moved step aside. A target gone since it was
// declared (a firmware purge took it) makes the step an addition.
bool InstallJournal::MoveAsideTaken(const std::string& target, const Step& step) {
    if (MoveToBackup(target, step.index)) return true;
    if (files_.Probe(target) != JournalFiles::Kind::Missing) return false;
    return Record({StepKind::Added, 0, step.target, false});
}

bool InstallJournal::PrepareTarget(const std::string& target) {
    Step step;
    if (!NextStep(target, step)) return false;
    return step.kind != StepKind::Moved || MoveAsideTaken(target, step);
}

bool InstallJournal::Install(const std::string& source, const std::string& target) {
    Step step;
    if (!NextStep(target, step)) return false;
    if (step.kind != StepKind::Moved || step.readOnly) {
        // A rename can't replace a read-only file: its old file goes aside first.
        if (step.kind == StepKind::Moved && !MoveAsideTaken(target, step)) return false;
        return files_.Copy(source, target);
    }
    // The new file is made complete in the journal first; the old one gets
    // a second name there; then one rename puts the new one in place. A
    // target that someone holds open is found before anything is made: a
    // second name of it could not be taken back while it is held.
    if (!files_.CanReplace(target)) return false;
    std::string fresh = folder_ + std::to_string((step.index - 1) / kBucketSize) + "\\" +
                        std::to_string(step.index) + ".new";
    if (!MakeBucket(step.index) || !files_.Copy(source, fresh)) return false;
    if (!files_.Link(target, BackupPath(step.index))) {
        // No hard links on this volume (or the target is gone): move it aside.
        if (!MoveAsideTaken(target, step)) return false;
        return files_.Move(fresh, target);
    }
    if (files_.Replace(fresh, target)) return true;
    unsigned long code = files_.LastError();
    // The target was never touched: drop its second name, so that nothing
    // needs undoing for it.
    files_.Remove(BackupPath(step.index));
    files_.SetLastError(code);
    return false;
}

bool InstallJournal::MoveAside(const std::string& path) {
    std::string relative;
    if (!RelativeToBase(path, relative)) return false;
    unsigned index = nextIndex_++;
    if (!Record({StepKind::Moved, index, relative, false})) return false;
    return MoveToBackup(path, index);
}

bool InstallJournal::Commit() {
    if (!started_) return true;
    if (recordOpen_) {
        files_.CloseRecord();
        recordOpen_ = false;
    }
    if (!files_.Remove(RecordPath())) return false;
    // The update is final now; what is left in the folder is only clean-up.
    RemoveJournalFolder();
    steps_.clear();
    taken_.clear();
    declared_.clear();
    started_ = false;
    return true;
}

bool InstallJournal::Load() {
    std::string folder = FolderPath();
    switch (files_.Probe(folder)) {
        case JournalFiles::Kind::Missing:
            return true;
        case JournalFiles::Kind::Folder:
            break;
        case JournalFiles::Kind::File:
            files_.SetLastError(kErrorInvalidData);
            return false;
        case JournalFiles::Kind::Unknown:
            return false;
    }
    started_ = true;
    steps_.clear();
    JournalFiles::Kind record = files_.Probe(RecordPath());
    if (record == JournalFiles::Kind::Missing) return true;  // committed, not yet cleaned
    interrupted_ = true;
    if (record != JournalFiles::Kind::File) {
        if (record == JournalFiles::Kind::Folder) files_.SetLastError(kErrorInvalidData);
        return false;
    }
    std::string text;
    if (!files_.ReadAll(RecordPath(), text)) return false;
    std::vector<JournalLine> lines;
    if (!ParseJournalRecord(text, lines)) {
        files_.SetLastError(kErrorInvalidData);
        return false;
    }
    for (const JournalLine& line : lines) {
        steps_.push_back(
            {line.moved ? StepKind::Moved : StepKind::Added, line.index, line.target, false});
    }
    return true;
}

bool InstallJournal::UndoStep(const Step& step, RollbackListener& listener,
                              unsigned long* firstFailure) {
    std::string target = base_ + step.target;
    auto fail = [&]() {
        unsigned long code = files_.LastError();
        if (firstFailure != nullptr && *firstFailure == 0) *firstFailure = code;
        listener.Failed(target, code);
        return false;
    };
    if (step.kind == StepKind::Added) {
        JournalFiles::Kind kind = files_.Probe(target);
        if (kind == JournalFiles::Kind::Missing) return true;  // the copy never made it
        if (kind != JournalFiles::Kind::File || !files_.Remove(target)) return fail();
        listener.Removed(target);
        return true;
    }
    std::string backup = BackupPath(step.index);
    JournalFiles::Kind kind = files_.Probe(backup);
    // No backup: the move was recorded but never taken, or was undone already.
    if (kind == JournalFiles::Kind::Missing) return true;
    if (kind != JournalFiles::Kind::File) return fail();
    // Whatever the update put in its place (maybe a partial copy) goes first.
    if (!files_.Remove(target) || !files_.Move(backup, target)) return fail();
    listener.Restored(target);
    return true;
}

bool InstallJournal::RollBack(RollbackListener& listener, unsigned long* firstFailure) {
    if (firstFailure != nullptr) *firstFailure = 0;
    if (!started_) return true;
    if (recordOpen_) {
        files_.CloseRecord();
        recordOpen_ = false;
    }
    // This run's steps are undone in the reverse of the order it took them,
    // then those it declared but never took (nothing to undo for most);
    // a journal read back from disk, in the reverse of its record.
    std::vector<size_t> order(taken_.rbegin(), taken_.rend());
    std::set<size_t> inOrder(order.begin(), order.end());
    for (size_t position = steps_.size(); position-- > 0;) {
        if (inOrder.count(position) == 0) order.push_back(position);
    }
    bool complete = true;
    for (size_t position : order) {
        if (!UndoStep(steps_[position], listener, firstFailure)) complete = false;
    }
    if (!complete) return false;
    // Only a fully undone run may lose its record.
    if (!files_.Remove(RecordPath())) {
        if (firstFailure != nullptr && *firstFailure == 0) *firstFailure = files_.LastError();
        listener.Failed(RecordPath(), files_.LastError());
        return false;
    }
    steps_.clear();
    taken_.clear();
    declared_.clear();
    RemoveJournalFolder();
    started_ = false;
    return true;
}

// Removes what is left of a journal whose record is gone. Best effort: a file
// that stays behind holds no step, and the next run removes it.
bool InstallJournal::RemoveJournalFolder() {
    std::vector<std::string> names;
    bool removed = files_.List(FolderPath(), names);
    for (const std::string& name : names) {
        std::string path = folder_ + name;
        if (files_.Probe(path) != JournalFiles::Kind::Folder) {
            if (!files_.Remove(path)) removed = false;
            continue;
        }
        std::vector<std::string> backups;
        if (!files_.List(path, backups)) removed = false;
        for (const std::string& backup : backups) {
            if (!files_.Remove(path + "\\" + backup)) removed = false;
        }
        if (!files_.RemoveFolder(path)) removed = false;
    }
    buckets_.clear();
    return files_.RemoveFolder(FolderPath()) && removed;
}
