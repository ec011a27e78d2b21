#include "install/content_install.h"

namespace {

// The system's codes, spelled out: this file includes no system header.
constexpr unsigned long kErrorPathNotFound = 3;
constexpr unsigned long kErrorInvalidData = 13;
constexpr unsigned long kErrorFilenameExcedRange = 206;

// The group and purged folders of the steps up to the first fault (the
// journal adds each copy's own).
std::vector<std::string> FoldersWrittenBeforeFirstFault(
    const std::vector<std::vector<PlanStep>>& plans) {
    std::vector<std::string> folders;
    for (const std::vector<PlanStep>& plan : plans) {
        for (const PlanStep& step : plan) {
            if (step.kind == PlanStep::Kind::kFault) return folders;
            if (step.kind != PlanStep::Kind::kCopyFile) folders.push_back(step.folder);
        }
    }
    return folders;
}

}  // namespace

ContentInstaller::ContentInstaller(JournalFiles& files, const JournalOwner& owner,
                                   LeadBytePredicate isLeadByte, ContentInstallLog& log)
    : files_(files), journal_(files, owner, isLeadByte), log_(log) {}

bool ContentInstaller::InstallPlans(const std::vector<std::vector<PlanStep>>& plans,
                                    const std::function<void()>& committed) {
    rollbackIncomplete_ = false;
    // Every copy the run will make is declared to the journal at once (one
    // write and one flush to the disk instead of one for each file), up to
    // the first fault, where the run will stop.
    std::vector<std::string> targets;
    for (const PlanStep* copy : CopiesBeforeFirstFault(plans)) targets.push_back(copy->target);
    // Nothing is written where a link would carry it out of the
    // installation folder.
    std::string refused;
    if (!journal_.CheckWhereWritesLand(FoldersWrittenBeforeFirstFault(plans), targets, refused)) {
        log_.WriteRefused(refused, files_.LastError() == JournalFiles::kLeadsOutside);
        LastErrorKept failure(files_);
        journal_.RollBack(log_);
        return false;
    }
    bool installed = journal_.Declare(targets);
    if (journal_.HasWork() && !journal_.NamesKeptInOrder())
        log_.NamesNotKeptInOrder(journal_.Folder());
    if (!installed) {
        log_.JournalNotStarted(journal_.Folder());
    } else {
        for (const std::vector<PlanStep>& plan : plans) {
            if (!CopyProductContent(plan)) {
                installed = false;
                break;
            }
        }
    }
    if (installed && journal_.Commit(committed ? InstallJournal::CleanUp::kLater
                                               : InstallJournal::CleanUp::kNow)) {
        if (journal_.CommitNotFlushed() != 0)
            log_.CommitNotFlushed(journal_.Folder(), journal_.CommitNotFlushed());
        if (committed) {
            committed();
            journal_.RemoveLeftovers();
        }
        return true;
    }

    // The code of the step that failed stays the last error for the report.
    LastErrorKept failure(files_);
    if (journal_.HasWork()) {
        // A run that failed before its first change only has its journal to remove.
        bool changed = journal_.TookSteps();
        if (journal_.RollBack(log_)) {
            if (changed) log_.RollbackComplete();
        } else {
            rollbackIncomplete_ = true;
            log_.RollbackIncomplete(journal_.Folder());
        }
    }
    return false;
}

bool ContentInstaller::Fault(const PlanStep& step) {
    // A path too long keeps the system's code for it, as a failed join
    // would; every other fault is one that no system call reports.
    if (step.fault == PlanFault::kPathTooLong) {
        files_.SetLastError(kErrorFilenameExcedRange);
        return false;
    }
    log_.ConfigurationFault(step);
    files_.SetLastError(kErrorInvalidData);
    return false;
}

bool ContentInstaller::CopyProductContent(const std::vector<PlanStep>& plan) {
    for (const PlanStep& step : plan) {
        switch (step.kind) {
            case PlanStep::Kind::kPurgeFirmware:
                // A purge that stops leaves the remaining images; the copy goes on.
                MoveFirmwareImagesAside(step.folder);
                break;
            case PlanStep::Kind::kGroupFolder: {
                // Folders are never created.
                JournalFiles::Kind kind = files_.Probe(step.folder);
                if (kind != JournalFiles::Kind::Folder) {
                    // A file of that name: the folder is not found either.
                    if (kind == JournalFiles::Kind::File) files_.SetLastError(kErrorPathNotFound);
                    log_.FolderNotFound(step.folder);
                    return false;
                }
                break;
            }
            case PlanStep::Kind::kFault:
                return Fault(step);
            case PlanStep::Kind::kCopyFile:
                log_.UpdatingFile(step.fileName);
                if (!journal_.Install(step.source, step.target)) {
                    log_.CopyFailed(step.fileName);
                    return false;
                }
                break;
        }
    }
    return true;
}

FirmwarePurge ContentInstaller::MoveFirmwareImagesAside(const std::string& folder) {
    std::vector<std::string> names;
    if (!files_.ListFilesEndingIn(folder, kFirmwareImageSuffix, names))
        return FirmwarePurge::kStopped;
    if (names.empty()) return FirmwarePurge::kNoneFound;
    std::string base = folder;
    if (base.empty() || (base.back() != '\\' && base.back() != '/')) base += "\\";
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(base + name);
    return journal_.MoveAside(paths) == paths.size() ? FirmwarePurge::kAllMoved
                                                     : FirmwarePurge::kStopped;
}

std::string InstallationLockName(const std::string& installFolder) {
    // FNV-1a over the folder as the file system compares it (ASCII case and
    // separators folded, trailing separators dropped): a name of fixed
    // length, free of backslashes.
    size_t length = installFolder.size();
    while (length > 0 && (installFolder[length - 1] == '\\' || installFolder[length - 1] == '/'))
        --length;
    unsigned long long hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i) {
        char folded = installFolder[i] == '/' ? '\\' : installFolder[i];
        if (folded >= 'a' && folded <= 'z') folded = static_cast<char>(folded - 'a' + 'A');
        hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ull;
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string name = "Global\\RIZezuvu-update-";
    for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
    return name;
}

bool RecoverInterruptedUpdates(JournalFiles& files, const JournalOwner& owner,
                               LeadBytePredicate isLeadByte, RecoveryLog& log) {
    for (unsigned number = 0; number < InstallJournal::kFolderNames; ++number) {
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
                    files.SetLastError(failure != 0 ? failure : kErrorInvalidData);
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
