#include "install/content_install.h"

#include "platform/error_codes.h"

namespace {

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
    std::vector<JournalTarget> targets;
    for (const PlanStep* copy : CopiesBeforeFirstFault(plans))
        targets.push_back({copy->target, copy->folder});
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
        files_.SetLastError(error_code::kFilenameExcedRange);
        return false;
    }
    log_.ConfigurationFault(step);
    files_.SetLastError(error_code::kInvalidData);
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
                    if (kind == JournalFiles::Kind::File)
                        files_.SetLastError(error_code::kPathNotFound);
                    log_.FolderNotFound(step.folder);
                    return false;
                }
                break;
            }
            case PlanStep::Kind::kFault:
                return Fault(step);
            case PlanStep::Kind::kCopyFile:
                log_.UpdatingFile(step.fileName);
                if (!journal_.Install(step.source, {step.target, step.folder})) {
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
    const std::string base = WithTrailingBackslash(folder);
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(base + name);
    return journal_.MoveAside(paths) == paths.size() ? FirmwarePurge::kAllMoved
                                                     : FirmwarePurge::kStopped;
}
