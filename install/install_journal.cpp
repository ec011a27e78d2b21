#include "install/install_journal.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "config/config_document.h"

namespace {

// The system's codes, spelled out: this file includes no system header.
constexpr unsigned long kErrorFileNotFound = 2;
constexpr unsigned long kErrorPathNotFound = 3;
constexpr unsigned long kErrorInvalidData = 13;
constexpr unsigned long kErrorAlreadyExists = 183;

constexpr char kFormatLine[] = "RIZezuvu journal 3\n";
constexpr char kProductKey[] = "product ";
constexpr char kFolderKey[] = "folder ";
// No real record comes near this many steps; a larger number is not ours.
constexpr unsigned long kLargestNumber = 0xFFFFFFu;

// Whole texts (a NUL inside one never ends the comparison early).
bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && EqualIgnoringCase(a.c_str(), b.c_str());
}

// A name as the file system compares it: ASCII letters folded.
std::string FoldedName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
    size_t length = std::strlen(prefix);
    return text.size() >= length && SameIgnoringCase(text.substr(0, length), prefix);
}

// Reads a number of 1 to kLargestNumber followed by a space.
bool ReadNumber(const std::string& line, size_t& at, unsigned& number, bool zeroAllowed) {
    const char* start = line.c_str() + at;
    if (*start < '0' || *start > '9') return false;
    char* after = nullptr;
    unsigned long value = std::strtoul(start, &after, 10);
    if (*after != ' ' || value > kLargestNumber || (value == 0 && !zeroAllowed)) return false;
    number = static_cast<unsigned>(value);
    at = static_cast<size_t>(after - line.c_str()) + 1;
    return true;
}

// "moved N path" or "added N path", from `at` on.
bool ParseStep(const std::string& line, size_t at, JournalLine& parsed,
               LeadBytePredicate isLeadByte) {
    if (line.compare(at, 6, "added ") == 0) {
        parsed.moved = false;
    } else if (line.compare(at, 6, "moved ") == 0) {
        parsed.moved = true;
    } else {
        return false;
    }
    at += 6;
    if (!ReadNumber(line, at, parsed.index, false)) return false;
    parsed.target = line.substr(at);
    return IsContainedRelativePath(parsed.target, isLeadByte) &&
           !IsJournalFolderName(parsed.target, isLeadByte);
}

}  // namespace

bool IsJournalFolderName(const std::string& relative, LeadBytePredicate isLeadByte) {
    std::string unified = relative;
    for (char& c : unified) {
        if (c == '/') c = '\\';  // a trail byte is never '/' (0x2F) in an ANSI code page
    }
    // The first component that is not ".".
    std::vector<std::string> parts = SplitPathComponents(unified, isLeadByte);
    size_t first = 0;
    while (first + 1 < parts.size() && parts[first] == ".") ++first;
    std::string name = parts[first];
    // Windows drops trailing dots and spaces from a name.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return StartsWithIgnoringCase(name, InstallJournal::kFolderName) ||
           StartsWithIgnoringCase(name, InstallJournal::kSetAsideName);
}

bool ParseJournalRecord(const std::string& text, JournalRecord& record,
                        LeadBytePredicate isLeadByte) {
    record = JournalRecord();
    // Each write of the record is flushed before its steps are taken, so a
    // power loss can only tear the last one: sectors of it that never
    // reached the disk read as zeros, at its end or amid it. From the first
    // zero byte on, nothing was written whole (no line holds one).
    size_t length = text.find('\0');
    length = length == std::string::npos ? text.size() : length;
    std::string body = text.substr(0, length);
    // Whole lines only: a torn last line's step was never taken.
    size_t whole = body.rfind('\n');
    body = whole == std::string::npos ? std::string() : body.substr(0, whole + 1);

    std::vector<std::string> lines;
    for (size_t start = 0; start < body.size();) {
        size_t end = body.find('\n', start);
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    // A record torn within its header holds no step: a prefix of a header
    // is such a record, anything else is not ours.
    std::string format(kFormatLine, std::strlen(kFormatLine) - 1);
    if (lines.empty()) return format.compare(0, length, text.substr(0, length)) == 0;
    if (lines[0] != format) return false;
    if (lines.size() < 3) {
        return lines.size() < 2 || lines[1].compare(0, std::strlen(kProductKey), kProductKey) == 0;
    }
    if (lines[1].compare(0, std::strlen(kProductKey), kProductKey) != 0 ||
        lines[2].compare(0, std::strlen(kFolderKey), kFolderKey) != 0)
        return false;
    record.owner.productCode = lines[1].substr(std::strlen(kProductKey));
    record.owner.folder = lines[2].substr(std::strlen(kFolderKey));
    if (record.owner.folder.empty()) return false;
    record.complete = true;
    size_t declared = 0;
    bool unforeseenSeen = false;
    std::vector<bool> replaced;
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        JournalLine parsed;
        size_t at = 0;
        if (line.compare(0, 6, "after ") == 0) {
            at = 6;
            parsed.place = JournalLine::Place::kAfter;
            if (!ReadNumber(line, at, parsed.position, true) || parsed.position > declared)
                return false;
        } else if (line.compare(0, 8, "instead ") == 0) {
            at = 8;
            parsed.place = JournalLine::Place::kInstead;
            if (!ReadNumber(line, at, parsed.position, false) || parsed.position > declared ||
                replaced[parsed.position - 1])
                return false;
            replaced[parsed.position - 1] = true;
        } else {
            // Declared steps come first, all of them.
            if (unforeseenSeen) return false;
            ++declared;
            replaced.push_back(false);
        }
        if (parsed.place != JournalLine::Place::kDeclared) unforeseenSeen = true;
        if (!ParseStep(line, at, parsed, isLeadByte)) return false;
        record.lines.push_back(parsed);
    }
    return true;
}

std::vector<JournalLine> StepsInTakenOrder(const std::vector<JournalLine>& lines) {
    std::vector<const JournalLine*> declared;
    for (const JournalLine& line : lines) {
        if (line.place == JournalLine::Place::kDeclared) declared.push_back(&line);
    }
    // Slot j (1-based) holds declared step j or what replaced it; after[j]
    // the steps taken once j declared steps were dealt with.
    std::vector<const JournalLine*> slot(declared.begin(), declared.end());
    std::vector<std::vector<const JournalLine*>> after(declared.size() + 1);
    for (const JournalLine& line : lines) {
        if (line.place == JournalLine::Place::kAfter && line.position <= declared.size()) {
            after[line.position].push_back(&line);
        } else if (line.place == JournalLine::Place::kInstead && line.position >= 1 &&
                   line.position <= declared.size()) {
            slot[line.position - 1] = &line;
        }
    }
    std::vector<JournalLine> order;
    for (size_t j = 0; j <= declared.size(); ++j) {
        if (j > 0) order.push_back(*slot[j - 1]);
        for (const JournalLine* line : after[j]) order.push_back(*line);
    }
    return order;
}

InstallJournal::InstallJournal(JournalFiles& files, const JournalOwner& owner,
                               LeadBytePredicate isLeadByte)
    : files_(files), owner_(owner), isLeadByte_(isLeadByte), folder_(FolderPath(0) + "\\") {}

InstallJournal::~InstallJournal() {
    if (recordOpen_) files_.CloseRecord();
    files_.ReleaseFolders();
}

std::string InstallJournal::FolderPath(unsigned number) const {
    std::string path = owner_.folder + kFolderName;
    if (number > 0) path += "-" + std::to_string(number + 1);
    return path;
}

// A step's files go into sub-folders of kBucketSize steps each: a folder
// that gains a new name is searched whole by some file systems (and by Wine
// on every one), so small folders keep each step cheap.
std::string InstallJournal::BucketPath(unsigned index) const {
    return folder_ + std::to_string((index - 1) / kBucketSize);
}

// Step `index`'s file of kind `suffix` (".old", ".new", ".linked", ".adding").
std::string InstallJournal::StepFilePath(unsigned index, const char* suffix) const {
    return BucketPath(index) + "\\" + std::to_string(index) + suffix;
}

std::string InstallJournal::BackupPath(unsigned index) const { return StepFilePath(index, ".old"); }

std::string InstallJournal::FreshPath(unsigned index) const { return StepFilePath(index, ".new"); }

std::string InstallJournal::LinkedPath(unsigned index) const {
    return StepFilePath(index, ".linked");
}

std::string InstallJournal::AddingMarkPath(unsigned index) const {
    return StepFilePath(index, ".adding");
}

bool InstallJournal::MakeBucket(unsigned index) {
    unsigned bucket = (index - 1) / kBucketSize;
    if (bucket < buckets_.size() && buckets_[bucket]) return true;
    std::string folder = folder_ + std::to_string(bucket);
    if (files_.Probe(folder) == JournalFiles::Kind::Missing) {
        if (!files_.CreateJournalFolder(folder)) return false;
        Changed(folder);
    }
    if (bucket >= buckets_.size()) buckets_.resize(bucket + 1, false);
    buckets_[bucket] = true;
    return true;
}

bool InstallJournal::MoveToBackup(const std::string& path, unsigned index) {
    if (!MakeBucket(index) || !files_.Move(path, BackupPath(index))) return false;
    Changed(path);
    Changed(BackupPath(index));
    return true;
}

// On a volume that keeps the order of name changes, a change never reaches
// the disk before one made earlier: nothing needs flushing between steps.
// Where nothing orders them (FAT, exFAT), the folders changed so far are
// flushed where the power-cut model test showed that a cut could otherwise
// leave more than the one file whose step it fell in: before a new file
// takes its name, after each image a purge moves aside, after each step a
// rollback undoes, before the record goes at the commit, and after it goes
// at the end of a rollback (before the marks of how far it got).
void InstallJournal::Changed(const std::string& path) {
    if (ordered_) return;
    std::string folder = FolderOfPath(path, isLeadByte_);
    if (!folder.empty()) unsettled_.insert(folder);
}

bool InstallJournal::Settle() {
    bool flushed = true;
    for (const std::string& folder : unsettled_) flushed = files_.FlushFolder(folder) && flushed;
    unsettled_.clear();
    return flushed;
}

std::string InstallJournal::RecordPath() const { return folder_ + kRecordName; }

// `path` relative to the installation folder; false (ERROR_INVALID_DATA)
// when it does not lie inside it, or lies in the journal's own folders.
bool InstallJournal::RelativeToBase(const std::string& path, std::string& relative) {
    const std::string& base = owner_.folder;
    if (path.compare(0, base.size(), base) != 0 ||
        !IsContainedRelativePath(path.substr(base.size()), isLeadByte_) ||
        IsJournalFolderName(path.substr(base.size()), isLeadByte_)) {
        files_.SetLastError(kErrorInvalidData);
        return false;
    }
    relative = path.substr(base.size());
    return true;
}

std::string InstallJournal::Header() const {
    return std::string(kFormatLine) + kProductKey + owner_.productCode + "\n" + kFolderKey +
           owner_.folder + "\n";
}

// The folder and its record are created before the first change of a run,
// under the first journal name that is free: a folder that is already there
// belongs to another run and is never reused.
bool InstallJournal::Start() {
    if (started_) return true;
    for (unsigned number = 0; number < kFolderNames; ++number) {
        std::string folder = FolderPath(number);
        switch (files_.Probe(folder)) {
            case JournalFiles::Kind::Missing:
                ordered_ = files_.KeepsNameOrder(owner_.folder);
                if (!files_.CreateJournalFolder(folder)) return false;
                number_ = number;
                folder_ = folder + "\\";
                started_ = true;
                Changed(folder);
                if (!files_.CreateRecord(RecordPath())) return false;
                Changed(RecordPath());
                recordOpen_ = true;
                return true;
            case JournalFiles::Kind::Unknown:
                return false;
            default:
                break;
        }
    }
    files_.SetLastError(kErrorAlreadyExists);
    return false;
}

std::string InstallJournal::RecordLine(const JournalLine& line) const {
    std::string text;
    if (line.place == JournalLine::Place::kAfter)
        text = "after " + std::to_string(line.position) + " ";
    else if (line.place == JournalLine::Place::kInstead)
        text = "instead " + std::to_string(line.position) + " ";
    return text + (line.moved ? "moved " : "added ") + std::to_string(line.index) + " " +
           line.target + "\n";
}

// The record is written before the step is taken: a step whose line did
// not reach the disk is not taken.
bool InstallJournal::Record(const JournalLine& line) {
    if (!AppendSteps(RecordLine(line))) return false;
    lines_.push_back(line);
    return true;
}

// Writes step lines, after the header when they are the run's first.
bool InstallJournal::AppendSteps(const std::string& text) {
    if (!Start() || !files_.AppendRecord((headerWritten_ ? std::string() : Header()) + text))
        return false;
    headerWritten_ = true;
    return true;
}

// Where the installation folder really is, held: it may be a link itself
// (to another drive, say), and where it leads is where the installation is.
bool InstallJournal::HoldBase() {
    if (!baseFinal_.empty()) return true;
    std::string installFolder = owner_.folder;
    while (!installFolder.empty() && installFolder.back() == '\\') installFolder.pop_back();
    return files_.HoldFolder(installFolder, baseFinal_);
}

// Holds `folder` (once a run) and checks that it really lies inside the
// installation folder. A missing folder is never created: what is to be
// written in it fails by itself.
bool InstallJournal::HoldInside(const std::string& folder) {
    std::string key = FoldedName(folder);
    if (heldFolders_.count(key) != 0) return true;
    std::string finalPath;
    if (!files_.HoldFolder(folder, finalPath)) {
        return files_.Probe(folder) == JournalFiles::Kind::Missing;
    }
    heldFolders_.insert(key);
    if (FinalPathLiesInside(finalPath, baseFinal_, true)) return true;
    files_.SetLastError(JournalFiles::kLeadsOutside);
    return false;
}

bool InstallJournal::CheckWhereWritesLand(const std::vector<std::string>& folders,
                                          const std::vector<std::string>& targets,
                                          std::string& refused) {
    if (!HoldBase()) {
        refused = owner_.folder;
        return false;
    }
    for (const std::string& folder : folders) {
        if (!HoldInside(folder)) {
            refused = folder;
            return false;
        }
    }
    for (const std::string& target : targets) {
        if (!HoldInside(FolderOfPath(target, isLeadByte_))) {
            refused = FolderOfPath(target, isLeadByte_);
            return false;
        }
        std::string finalPath;
        if (!files_.FinalPath(target, finalPath)) {
            // Nothing there yet: its folder is what counts.
            unsigned long code = files_.LastError();
            if (code == kErrorFileNotFound || code == kErrorPathNotFound) continue;
            refused = target;
            return false;
        }
        if (!FinalPathLiesInside(finalPath, baseFinal_, false)) {
            refused = target;
            files_.SetLastError(JournalFiles::kLeadsOutside);
            return false;
        }
    }
    return true;
}

bool InstallJournal::CheckRecordedWrites(std::string& refused) {
    // A journal's record names files inside the installation folder, but a
    // folder on their way may have become a link since; and the journal's
    // own sub-folders must be its own, not links to files elsewhere.
    // (An undo only renames and deletes names: a file that is a link
    // itself is moved or removed as a link, never written through.)
    std::vector<std::string> folders;
    for (const JournalLine& line : lines_) {
        folders.push_back(FolderOfPath(owner_.folder + line.target, isLeadByte_));
        std::string bucket = BucketPath(line.index);
        if (files_.Probe(bucket) == JournalFiles::Kind::Folder && !IsOwnFolder(bucket)) {
            refused = bucket;
            files_.SetLastError(JournalFiles::kLeadsOutside);
            return false;
        }
    }
    return CheckWhereWritesLand(folders, {}, refused);
}

// True when the folder at `path` (inside the installation folder) is where
// its path says, not a link to somewhere else: what a journal's folders
// must be before anything in them is read, moved or deleted.
bool InstallJournal::IsOwnFolder(const std::string& path) {
    std::string finalPath;
    if (!HoldBase() || !files_.FinalPath(path, finalPath)) return false;
    std::string expected = baseFinal_ + "\\" + path.substr(owner_.folder.size());
    return SameIgnoringCase(finalPath, expected);
}

bool InstallJournal::Declare(const std::vector<std::string>& targets) {
    if (!targets.empty() && (started_ || !lines_.empty())) {
        // Declarations come before every other step of a run.
        files_.SetLastError(kErrorInvalidData);
        return false;
    }
    std::vector<JournalLine> steps;
    // A guess that only saves a line later: Install goes by what it finds.
    std::set<std::string> seen;
    std::string text;
    for (const std::string& target : targets) {
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
        text += RecordLine(step);
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

bool InstallJournal::Install(const std::string& source, const std::string& target) {
    std::string relative;
    if (!RelativeToBase(target, relative)) return false;
    // A folder that was missing at the check and is there now is held and
    // checked before anything is written in it.
    if (!HoldBase() || !HoldInside(FolderOfPath(target, isLeadByte_))) return false;
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
    std::string fresh = FreshPath(step.index);
    if (!MakeBucket(step.index) || !files_.Copy(source, fresh)) return false;
    Changed(fresh);
    if (!exists) {
        if (!files_.CreateMark(AddingMarkPath(step.index))) return false;
        Changed(AddingMarkPath(step.index));
        // Everything so far goes to the disk before the new file takes its
        // name. (A flush that fails leaves the step to go on: the system
        // wrote what it could, and the run's own result is what the user
        // sees.)
        Settle();
        return PutInPlace(fresh, target);
    }
    // The old file keeps a second name in the journal and the new one is
    // renamed over it: the target's name is never missing, and the rename
    // finds a name that exists (Wine looks through the whole folder for
    // one that doesn't).
    if (files_.Link(target, LinkedPath(step.index))) {
        Changed(LinkedPath(step.index));
        Settle();
        if (files_.Replace(fresh, target)) {
            Changed(fresh);
            Changed(target);
            return true;
        }
    }
    // No hard links on this volume, or a target that can't be renamed over
    // (read-only, or a DLL another program has loaded): the old file is
    // renamed into the journal, which Windows allows even then, and the new
    // one into its place.
    if (!MoveToBackup(target, step.index)) return false;
    Settle();
    return PutInPlace(fresh, target);
}

bool InstallJournal::PutInPlace(const std::string& fresh, const std::string& target) {
    if (!files_.Move(fresh, target)) return false;
    Changed(fresh);
    Changed(target);
    return true;
}

size_t InstallJournal::MoveAside(const std::vector<std::string>& paths) {
    std::vector<JournalLine> steps;
    std::string text;
    for (const std::string& path : paths) {
        std::string relative;
        if (!RelativeToBase(path, relative)) break;
        steps.push_back(UnforeseenStep(false, true, relative));
        text += RecordLine(steps.back());
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
            files_.LastError() != kErrorFileNotFound)
            return moved;
        // One image at a time: a power loss could otherwise take back the
        // halves of several renames at once.
        Settle();
    }
    if (refusal != 0) files_.SetLastError(refusal);
    return steps.size();
}

bool InstallJournal::Commit(CleanUp cleanUp) {
    if (!started_) {
        EndRun();
        return true;
    }
    if (recordOpen_) {
        files_.CloseRecord();
        recordOpen_ = false;
    }
    Settle();
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
        commitNotFlushed_ = files_.LastError() != 0 ? files_.LastError() : kErrorInvalidData;
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
    unsettled_.clear();
    undoneFrom_ = SIZE_MAX;
    headerWritten_ = false;
    lines_.clear();
    declared_.clear();
    resolved_ = 0;
    buckets_.clear();
    started_ = false;
}

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
    ordered_ = files_.KeepsNameOrder(owner_.folder);
    switch (files_.Probe(RecordPath())) {
        case JournalFiles::Kind::Missing:
            return Found::kCleanUp;  // committed, not yet cleaned
        case JournalFiles::Kind::File:
            break;
        case JournalFiles::Kind::Folder:
            files_.SetLastError(kErrorInvalidData);
            return Found::kUnreadable;
        case JournalFiles::Kind::Unknown:
            return Found::kUnreadable;
    }
    std::string text;
    if (!files_.ReadAll(RecordPath(), text)) return Found::kUnreadable;
    JournalRecord record;
    if (!ParseJournalRecord(text, record, isLeadByte_)) {
        files_.SetLastError(kErrorInvalidData);
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
    for (unsigned number = 1; number < 100; ++number) {
        std::string name = owner_.folder + kSetAsideName + std::to_string(number);
        JournalFiles::Kind kind = files_.Probe(name);
        if (kind == JournalFiles::Kind::Unknown) return false;
        if (kind != JournalFiles::Kind::Missing) continue;
        if (!files_.Move(FolderPath(number_), name)) return false;
        newName = name;
        return true;
    }
    files_.SetLastError(kErrorAlreadyExists);
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
        JournalFiles::Kind mark = files_.Probe(AddingMarkPath(step.index));
        if (mark == JournalFiles::Kind::Unknown) return fail();
        if (mark == JournalFiles::Kind::Missing) return Undone::kNothingToDo;
        JournalFiles::Kind fresh = files_.Probe(FreshPath(step.index));
        if (fresh == JournalFiles::Kind::Unknown) return fail();
        if (fresh != JournalFiles::Kind::Missing) return Undone::kNothingToDo;
        JournalFiles::Kind kind = files_.Probe(target);
        // Missing: the copy never made it. A folder: the copy never makes one.
        if (kind == JournalFiles::Kind::Missing || kind == JournalFiles::Kind::Folder)
            return Undone::kNothingToDo;
        if (kind != JournalFiles::Kind::File || !files_.Remove(target)) return fail();
        Changed(target);
        listener.Removed(target);
        return Undone::kRemoved;
    }
    std::string backup = BackupPath(step.index);
    JournalFiles::Kind kind = files_.Probe(backup);
    if (kind == JournalFiles::Kind::Missing) {
        // Kept by a second name: unless the new file took the target's name
        // (the old one is still there), that name goes back.
        backup = LinkedPath(step.index);
        kind = files_.Probe(backup);
        bool same = false;
        if (kind == JournalFiles::Kind::File && files_.Probe(target) == JournalFiles::Kind::File) {
            if (!files_.SameFile(target, backup, same)) return fail();
            // The second name goes, so that this undo, done again after an
            // earlier step's undo has put another file there, finds nothing.
            if (same) {
                if (!files_.Remove(backup)) return Undone::kNameLeft;
                Changed(backup);
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
    Changed(target);
    if (!files_.Move(backup, target)) return fail();
    Changed(backup);
    listener.Restored(target);
    return Undone::kRestored;
}

bool InstallJournal::MarkUndone(size_t from) {
    std::string mark = folder_ + kUndoneMark + std::to_string(from);
    if (files_.Probe(mark) == JournalFiles::Kind::File) return true;
    if (!files_.CreateMark(mark)) return false;
    Changed(mark);
    return true;
}

// The furthest a rollback that was itself interrupted got.
bool InstallJournal::ReadUndoneMarks(size_t steps) {
    undoneFrom_ = SIZE_MAX;
    std::vector<std::string> names;
    if (!files_.List(folder_.substr(0, folder_.size() - 1), names)) return false;
    const size_t prefix = std::strlen(kUndoneMark);
    for (const std::string& name : names) {
        if (name.compare(0, prefix, kUndoneMark) != 0) continue;
        const char* digits = name.c_str() + prefix;
        char* end = nullptr;
        unsigned long from = std::strtoul(digits, &end, 10);
        if (end == digits || *end != '\0' || from > steps) {
            files_.SetLastError(kErrorInvalidData);
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
    if (recordOpen_) {
        files_.CloseRecord();
        recordOpen_ = false;
    }
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
                if (complete) listener.Failed(folder_ + kUndoneMark, files_.LastError());
                EndRun();
                return false;
            }
            removedSinceMark = false;
        }
        Undone undone = UndoStep(order[i], listener, firstFailure);
        // Where nothing orders name changes, a power loss could otherwise
        // take back the halves of several restores at once.
        Settle();
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
    Changed(RecordPath());
    Settle();
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
