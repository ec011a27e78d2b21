#include "install/content_install_win.h"

#include <string>
#include <vector>

#include "config/update_context.h"
#include "install/content_install.h"
#include "install/content_log.h"
#include "install/copy_observer.h"
#include "install/copy_progress.h"
#include "install/journal_files_win.h"
#include "install/journal_recovery.h"
#include "install/sealed_reading_win.h"
#include "log/upgrade_log.h"
#include "platform/code_page.h"
#include "platform/file_system_win.h"
#include "platform/handles_win.h"
#include "platform/path_services_win.h"
#include "product/installed_product.h"

namespace {

// What the copies up to the first fault will write: the sizes of their
// sources (a missing one counts nothing; its copy fails).
unsigned long long PlannedBytes(const UpdatePlan& plan) {
    unsigned long long total = 0;
    for (const PlanStep* copy : plan.Copies()) {
        unsigned long long size = 0;
        if (platform::GetFileSizeAt(copy->source, size)) total += size;
    }
    return total;
}

// A copy's bytes go to the seal's check, when the package is sealed, and
// then to the status window's bar, when it is shown.
class CopyWatch : public CopyObserver {
public:
    CopyWatch(const SealedPackage* sealed, CopyProgress* progress) : progress_(progress) {
        if (sealed != nullptr) sealed_.emplace(*sealed);
    }
    bool Begin(const std::string& source) override { return !sealed_ || sealed_->Begin(source); }
    bool Chunk(const char* data, unsigned long bytes) override {
        if (sealed_ && !sealed_->Chunk(data, bytes)) return false;
        if (progress_ != nullptr) progress_->Copied(bytes);
        return true;
    }
    // The copy's own failure is logged by the copy; only the package's is named here.
    void Failed(const std::string& source) override {
        if (sealed_) sealed_->Failed(source, false);
    }
    void Idle() override {
        if (progress_ == nullptr) return;
        platform::LastErrorKeeper keep;
        progress_->Copied(0);
    }

private:
    std::optional<SealedReading> sealed_;
    CopyProgress* progress_;
};

}  // namespace

UpdatePlan MakeUpdatePlan(const UpdateContext& context, const InstalledProduct& product,
                          const std::string& installLocation) {
    platform::LastErrorKeeper keep;
    UpdatePlan plan;
    plan.installLocation = installLocation;
    if (MakePlanBase(installLocation, plan.owner.folder)) {
        plan.owner.productCode = product.productCode;
    } else {
        plan.ownerError = ERROR_FILENAME_EXCED_RANGE;
    }
    std::string productId;
    if (context.document.RootElement() == nullptr) {
        plan.plansError = ERROR_INVALID_DATA;
    } else if (!product.GetProductId(installLocation, productId)) {
        plan.noProductId = true;
        plan.plansError = ::GetLastError();
    } else if (plan.ownerError != 0) {
        plan.plansError = plan.ownerError;
    } else if (!MakePlanBase(context.programFolder, plan.sourceBase)) {
        plan.plansError = ERROR_FILENAME_EXCED_RANGE;
    } else {
        plan.plans = PlanEntries(context.document, productId, plan.owner.folder, plan.sourceBase,
                                 &platform::IsAnsiLeadByte);
    }
    return plan;
}

bool UpdateWrites(const UpdatePlan& plan, const std::string& path) {
    platform::LastErrorKeeper keep;
    std::string log;
    if (UpgradeLog::PathFor(plan.installLocation.c_str(), log) &&
        (platform::SamePathText(path, log) || platform::SameExistingFile(path, log)))
        return true;
    for (const PlanStep* copy : plan.Copies()) {
        if (platform::SamePathText(path, copy->target)) return true;
    }
    return false;
}

bool RecoverInterruptedUpdate(const UpdatePlan& plan, bool& rolledBack) {
    rolledBack = false;
    if (plan.ownerError != 0) {
        platform::SetLastErrorCode(plan.ownerError);
        return false;
    }
    WindowsJournalFiles files;
    content_log::RecoveryLogLines log;
    bool recovered = RecoverInterruptedUpdates(files, plan.owner, &platform::IsAnsiLeadByte, log);
    rolledBack = log.InterruptedRunRolledBack();
    return recovered;
}

bool VerifySealedPayload(const UpdateContext& context, const UpdatePlan& plan) {
    if (!context.sealed || plan.plansError != 0) return true;
    SealedReading reading(*context.sealed);
    for (const PlanStep* copy : plan.Copies()) {
        if (!reading.Begin(copy->source)) return false;
        bool read = platform::ReadFileInChunks(copy->source,
                                               [&reading](const char* data, unsigned long bytes) {
                                                   return reading.Chunk(data, bytes);
                                               });
        if (read && !reading.Chunk(nullptr, 0)) return false;
        if (!read) {
            reading.Failed(copy->source, true);
            return false;
        }
    }
    return true;
}

bool CopyContent(const UpdateContext& context, const UpdatePlan& plan, CopyProgress* progress,
                 const std::function<void()>& committed, bool& rollbackIncomplete) {
    rollbackIncomplete = false;
    if (plan.noProductId) {
        // The line keeps the reason (UpgradeLog::Write keeps the last error).
        platform::SetLastErrorCode(plan.plansError);
        if (plan.plansError == ERROR_INVALID_DATA) {
            UpgradeLog::Write("No product id: RAZoro.ini in %s has no ProductID in section Main",
                              plan.installLocation.c_str());
        } else {
            UpgradeLog::Write("No product id: RAZoro.ini in %s can't be read",
                              plan.installLocation.c_str());
        }
        return false;
    }
    if (plan.plansError != 0) {
        platform::SetLastErrorCode(plan.plansError);
        return false;
    }
    if (progress != nullptr) progress->Planned(PlannedBytes(plan));
    CopyWatch watch(context.sealed ? &*context.sealed : nullptr, progress);
    WindowsJournalFiles files(&watch);
    content_log::ContentCopyLog log(context);
    ContentInstaller installer(files, plan.owner, &platform::IsAnsiLeadByte, log);
    if (installer.InstallPlans(plan.plans, committed)) return true;
    rollbackIncomplete = installer.RollbackIncomplete();
    return false;
}
