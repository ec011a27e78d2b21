// Installing the update package's content into the installation folder: the
// plan worked out from the configuration (install/install_plan.h) carried
// out step by step. Every change goes through the install journal: a run
// that fails puts the folder back as it was, and one that was killed is put
// back by the next run.
#include <string>
#include <vector>

#include "config/update_context.h"
#include "install/content_install.h"
#include "install/install_journal.h"
#include "install/install_plan.h"
#include "install/journal_files.h"
#include "log/upgrade_log.h"
#include "platform/handles.h"
#include "platform/path_services.h"
#include "product/installed_product.h"

namespace {

// The system's wildcard search also matches "*.bin" against 8.3 short names,
// so "notes.binx" would match; only names that really end in ".bin" are
// firmware images.
bool IsFirmwareImageName(const std::string& name) {
    return name.size() >= 4 && EqualIgnoringCase(name.c_str() + name.size() - 4, ".bin");
}

// A fault of the configuration. A path too long keeps the system's code for
// it, as a failed join did; every other fault is one that no system call
// reports: the log names it with its line and entry, and the failure report
// shows ERROR_INVALID_DATA.
bool ConfigurationFault(const PlanStep& step) {
    if (step.fault == PlanFault::kPathTooLong) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    UpgradeLog::Write("Invalid configuration at line %d (group %s of Product '%s'): %s%s%s",
                      step.line, step.group.c_str(), step.entryId.c_str(),
                      DescribePlanFault(step.fault), step.value.empty() ? "" : " ",
                      step.value.c_str());
    platform::SetLastErrorCode(ERROR_INVALID_DATA);
    return false;
}

void LogRollbackIncomplete(const InstallJournal& journal) {
    UpgradeLog::Write(
        "Rollback incomplete: the journal in %s is kept; the next run will finish restoring.",
        journal.Folder().c_str());
}

// Writes the rollback's lines to the log.
class RollbackLog : public RollbackListener {
public:
    void Restored(const std::string& path) override {
        UpgradeLog::Write("Rollback: restored %s", path.c_str());
    }
    void Removed(const std::string& path) override {
        UpgradeLog::Write("Rollback: removed %s", path.c_str());
    }
    void Failed(const std::string& path, unsigned long code) override {
        UpgradeLog::Write("Rollback: could not restore %s (error %lu)", path.c_str(), code);
    }
};

// Undoes a failed run's changes. The code of the step that failed stays the
// thread's last error for the failure report. True when nothing is left over.
bool RollBackFailedUpdate(InstallJournal& journal) {
    platform::LastErrorKeeper keepFailureCode;
    if (!journal.HasWork()) return true;
    // A run that failed before its first change only has its journal to remove.
    bool changed = journal.TookSteps();
    RollbackLog log;
    if (journal.RollBack(log)) {
        if (changed) {
            UpgradeLog::Write(
                "Rollback complete: the installation is as it was before the update.");
        }
        return true;
    }
    LogRollbackIncomplete(journal);
    return false;
}

}  // namespace

bool UpdateContext::CopyContent(const InstalledProduct& product) {
    rollbackIncomplete = false;
    std::string location;
    if (!product.GetInstallLocation(location)) return false;
    if (document.RootElement() == nullptr) return false;
    std::string productId;
    if (!product.GetProductId(productId)) {
        DWORD code = ::GetLastError();
        UpgradeLog::Write("No product id: RAZoro.ini in %s has no ProductID in section Main",
                          location.c_str());
        platform::SetLastErrorCode(code);
        return false;
    }

    std::string targetBase;
    std::string sourceBase;
    if (!MakePlanBase(location, targetBase) || !MakePlanBase(programFolder, sourceBase)) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }

    WindowsJournalFiles files;
    InstallJournal journal(files, targetBase);
    // Every copy the run will make is declared to the journal at once (one
    // write and one flush to the disk instead of one for each file), up to
    // the first fault, where the run will stop.
    std::vector<std::vector<PlanStep>> plans;
    std::vector<std::string> targets;
    bool faultAhead = false;
    for (const TiXmlElement* entry : ProductEntries(document, productId)) {
        plans.emplace_back();
        PlanEntry(*entry, targetBase, sourceBase, plans.back(), &platform::IsAnsiLeadByte);
        for (const PlanStep& step : plans.back()) {
            faultAhead = faultAhead || step.kind == PlanStep::Kind::kFault;
            if (!faultAhead && step.kind == PlanStep::Kind::kCopyFile)
                targets.push_back(step.target);
        }
    }
    bool installed = journal.Declare(targets);
    if (!installed) {
        UpgradeLog::Write("The journal in %s can't be written", journal.Folder().c_str());
    } else {
        for (const std::vector<PlanStep>& plan : plans) {
            if (!CopyProductContent(plan, journal)) {
                installed = false;
                break;
            }
        }
    }
    if (installed && journal.Commit()) return true;
    rollbackIncomplete = !RollBackFailedUpdate(journal);
    return false;
}

bool UpdateContext::CopyProductContent(const std::vector<PlanStep>& plan, InstallJournal& journal) {
    for (const PlanStep& step : plan) {
        switch (step.kind) {
            case PlanStep::Kind::kPurgeFirmware:
                DeleteFirmwareFiles(step.folder.c_str(), journal);
                break;
            case PlanStep::Kind::kGroupFolder:
                // Folders are never created.
                if (!platform::IsDirectory(step.folder.c_str())) {
                    UpgradeLog::Write("Directory not found %s...\n", step.folder.c_str());
                    return false;
                }
                break;
            case PlanStep::Kind::kFault:
                return ConfigurationFault(step);
            case PlanStep::Kind::kCopyFile: {
                std::string lineText;
                LookupMessage("updatefile", lineText);
                UpgradeLog::WriteConfigured(lineText.c_str(), step.fileName.c_str());
                // A read-only source would make a read-only copy; a package on
                // read-only media must not stop the copy. The target needs no
                // such care: the journal replaces it, or moves it away.
                unsigned long attributes = 0;
                if (platform::GetAttributes(step.source.c_str(), attributes) &&
                    (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_SYSTEM)) != 0) {
                    platform::SetNormalAttributes(step.source.c_str());
                }
                if (!journal.Install(step.source, step.target)) {
                    UpgradeLog::Write("Copy file failed %s...", step.fileName.c_str());
                    return false;
                }
                break;
            }
        }
    }
    return true;
}

// Firmware images are moved into the journal rather than deleted, so that a
// failed update gets them back.
bool UpdateContext::DeleteFirmwareFiles(const char* folder, InstallJournal& journal) {
    platform::PathBuffer pattern;
    if (!platform::CombinePath(pattern, folder, "*.bin")) return false;
    platform::FileSearch search;
    std::string name;
    if (!search.First(pattern, name)) return false;
    do {
        if (search.IsFolder() || !IsFirmwareImageName(name)) continue;
        platform::PathBuffer file;
        if (!platform::CombinePath(file, folder, name.c_str())) return false;
        if (!journal.MoveAside(file)) return false;
    } while (search.Next(name));
    return true;
}

bool RecoverInterruptedUpdate(const std::string& installLocation) {
    std::string base;
    if (!MakePlanBase(installLocation, base)) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    WindowsJournalFiles files;
    InstallJournal journal(files, base);
    if (!journal.Exists()) return true;
    if (!journal.Load()) {
        DWORD code = ::GetLastError();
        UpgradeLog::Write(
            "The journal of an interrupted update in %s can't be read; nothing was changed.",
            journal.Folder().c_str());
        platform::SetLastErrorCode(code);
        return false;
    }
    bool interrupted = journal.Interrupted();
    RollbackLog log;
    unsigned long failure = 0;
    if (!journal.RollBack(log, &failure)) {
        LogRollbackIncomplete(journal);
        platform::SetLastErrorCode(failure != 0 ? failure : ERROR_INVALID_DATA);
        return false;
    }
    if (interrupted) UpgradeLog::Write("An interrupted update was rolled back.");
    return true;
}
