// The content installation on the real file system: the plans worked out
// from the configuration, carried out by install/content_install.h through
// the journal, with each step logged.
#include "install/content_copy.h"

#include <string>
#include <vector>

#include "config/message_keys.h"
#include "config/update_context.h"
#include "install/content_install.h"
#include "install/copy_progress.h"
#include "install/install_plan.h"
#include "install/journal_files.h"
#include "log/upgrade_log.h"
#include "platform/file_system.h"
#include "platform/handles.h"
#include "platform/path_services.h"
#include "product/installed_product.h"

namespace {

void WriteRollbackRestored(const std::string& path) {
    UpgradeLog::Write("Rollback: restored %s", path.c_str());
}
void WriteRollbackRemoved(const std::string& path) {
    UpgradeLog::Write("Rollback: removed %s", path.c_str());
}
void WriteRollbackFailed(const std::string& path, unsigned long code) {
    UpgradeLog::Write("Rollback: could not restore %s (error %lu)", path.c_str(), code);
}
void WriteRollbackIncomplete(const std::string& journalFolder) {
    UpgradeLog::Write(
        "Rollback incomplete: the journal in %s is kept; the next run will finish restoring.",
        journalFolder.c_str());
}

// The rollback's lines, for the copy's log and recovery's alike.
template <typename Listener>
class WithRollbackLines : public Listener {
public:
    void Restored(const std::string& path) override { WriteRollbackRestored(path); }
    void Removed(const std::string& path) override { WriteRollbackRemoved(path); }
    void Failed(const std::string& path, unsigned long code) override {
        WriteRollbackFailed(path, code);
    }
};

// Every line keeps the thread's last error (UpgradeLog::Write does).
class ContentCopyLog : public WithRollbackLines<ContentInstallLog> {
public:
    explicit ContentCopyLog(const UpdateContext& context) : context_(context) {}

    void UpdatingFile(const std::string& fileName) override {
        // The text starts empty for each file: a configuration without the
        // key gets an empty line.
        std::string lineText;
        context_.LookupMessage(message_key::kUpdateFile, lineText);
        UpgradeLog::WriteConfigured(lineText.c_str(), fileName.c_str());
    }
    void CopyFailed(const std::string& fileName) override {
        UpgradeLog::Write("Copy file failed %s...", fileName.c_str());
    }
    void FolderNotFound(const std::string& folder) override {
        UpgradeLog::Write("Directory not found %s...\n", folder.c_str());
    }
    void ConfigurationFault(const PlanStep& step) override {
        UpgradeLog::Write("Invalid configuration at line %d (group %s of Product '%s'): %s%s%s",
                          step.line, step.group.c_str(), step.entryId.c_str(),
                          DescribePlanFault(step.fault), step.value.empty() ? "" : " ",
                          step.value.c_str());
    }
    void JournalNotStarted(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The journal in %s can't be started: a target can't be looked at, or the journal "
            "can't be written",
            journalFolder.c_str());
    }
    void RollbackComplete() override {
        UpgradeLog::Write("Rollback complete: the installation is as it was before the update.");
    }
    void RollbackIncomplete(const std::string& journalFolder) override {
        WriteRollbackIncomplete(journalFolder);
    }

private:
    const UpdateContext& context_;
};

class RecoveryLogLines : public WithRollbackLines<RecoveryLog> {
public:
    void InterruptedRolledBack() override {
        UpgradeLog::Write("An interrupted update was rolled back.");
    }
    void EmptyJournalRemoved(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The journal in %s records no change: the update that left it changed nothing. "
            "It was removed.",
            journalFolder.c_str());
    }
    void ForeignJournalSetAside(const std::string& journalFolder, const JournalOwner& owner,
                                const std::string& setAsideAs) override {
        if (setAsideAs.empty()) {
            UpgradeLog::Write(
                "The journal in %s belongs to another installation (product %s in %s); it is "
                "left as it is and not restored.",
                journalFolder.c_str(), owner.productCode.c_str(), owner.folder.c_str());
        } else {
            UpgradeLog::Write(
                "The journal in %s belongs to another installation (product %s in %s); it was "
                "set aside as %s and not restored.",
                journalFolder.c_str(), owner.productCode.c_str(), owner.folder.c_str(),
                setAsideAs.c_str());
        }
    }
    void LeftoverKept(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The finished journal in %s can't be removed yet; a later run will remove it.",
            journalFolder.c_str());
    }
    void JournalUnreadable(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The journal of an interrupted update in %s can't be read; nothing was changed.",
            journalFolder.c_str());
    }
    void RollbackIncomplete(const std::string& journalFolder) override {
        WriteRollbackIncomplete(journalFolder);
    }
};

// The installation folder as the journal knows it; false
// (ERROR_FILENAME_EXCED_RANGE) when it can't be a base.
bool MakeJournalOwner(const InstalledProduct& product, const std::string& location,
                      JournalOwner& owner) {
    if (!MakePlanBase(location, owner.folder)) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    owner.productCode = product.productCode;
    return true;
}

// What the copies up to the first fault will write: the sizes of their
// sources (a missing one counts nothing; its copy fails).
unsigned long long PlannedBytes(const std::vector<std::vector<PlanStep>>& plans) {
    unsigned long long total = 0;
    for (const std::vector<PlanStep>& plan : plans) {
        for (const PlanStep& step : plan) {
            if (step.kind == PlanStep::Kind::kFault) return total;
            unsigned long long size = 0;
            if (step.kind == PlanStep::Kind::kCopyFile &&
                platform::GetFileSizeAt(step.source, size))
                total += size;
        }
    }
    return total;
}

}  // namespace

bool UpdateContext::CopyContent(const InstalledProduct& product, CopyProgress* progress) {
    rollbackIncomplete = false;
    std::string location;
    if (!product.GetInstallLocation(location)) return false;
    if (document.RootElement() == nullptr) return false;
    std::string productId;
    if (!product.GetProductId(productId)) {
        // The line keeps the reason (UpgradeLog::Write keeps the last error).
        if (::GetLastError() == ERROR_INVALID_DATA) {
            UpgradeLog::Write("No product id: RAZoro.ini in %s has no ProductID in section Main",
                              location.c_str());
        } else {
            UpgradeLog::Write("No product id: RAZoro.ini in %s can't be read", location.c_str());
        }
        return false;
    }

    JournalOwner owner;
    std::string sourceBase;
    if (!MakeJournalOwner(product, location, owner)) return false;
    if (!MakePlanBase(programFolder, sourceBase)) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::vector<std::vector<PlanStep>> plans;
    for (const TiXmlElement* entry : ProductEntries(document, productId)) {
        plans.emplace_back();
        PlanEntry(*entry, owner.folder, sourceBase, plans.back(), &platform::IsAnsiLeadByte);
    }
    if (progress != nullptr) progress->Planned(PlannedBytes(plans));
    WindowsJournalFiles files(progress);
    ContentCopyLog log(*this);
    ContentInstaller installer(files, owner, &platform::IsAnsiLeadByte, log);
    if (installer.InstallPlans(plans)) return true;
    rollbackIncomplete = installer.RollbackIncomplete();
    return false;
}

bool UpdateContext::UpdateWrites(const InstalledProduct& product, const std::string& path) const {
    platform::LastErrorKeeper keep;
    std::string location;
    if (!product.GetInstallLocation(location)) return false;
    std::string log;
    if (UpgradeLog::PathFor(location.c_str(), log) &&
        (platform::SamePathText(path, log) || platform::SameExistingFile(path, log)))
        return true;
    std::string productId;
    std::string targetBase;
    std::string sourceBase;
    if (document.RootElement() == nullptr || !product.GetProductId(productId) ||
        !MakePlanBase(location, targetBase) || !MakePlanBase(programFolder, sourceBase))
        return false;
    for (const TiXmlElement* entry : ProductEntries(document, productId)) {
        std::vector<PlanStep> plan;
        PlanEntry(*entry, targetBase, sourceBase, plan, &platform::IsAnsiLeadByte);
        for (const PlanStep& step : plan) {
            if (step.kind == PlanStep::Kind::kFault) return false;
            if (step.kind == PlanStep::Kind::kCopyFile && platform::SamePathText(path, step.target))
                return true;
        }
    }
    return false;
}

bool RecoverInterruptedUpdate(const InstalledProduct& product, const std::string& installLocation) {
    JournalOwner owner;
    if (!MakeJournalOwner(product, installLocation, owner)) return false;
    WindowsJournalFiles files;
    RecoveryLogLines log;
    return RecoverInterruptedUpdates(files, owner, &platform::IsAnsiLeadByte, log);
}
