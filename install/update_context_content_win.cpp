// UpdateContext's content methods (declared in config/update_context.h): the
// plans worked out from the configuration, carried out on the real file
// system by install/content_install.h through the journal, each step logged.
#include "install/content_log.h"
#include "install/content_recovery.h"

#include <string>
#include <vector>

#include "config/message_keys.h"
#include "config/update_context.h"
#include "install/content_install.h"
#include "install/copy_progress.h"
#include "install/install_plan.h"
#include "install/journal_files_win.h"
#include "log/upgrade_log.h"
#include "platform/file_system_win.h"
#include "platform/handles_win.h"
#include "platform/path_services_win.h"
#include "product/installed_product.h"
#include "platform/code_page.h"

namespace {

// What the copies up to the first fault will write: the sizes of their
// sources (a missing one counts nothing; its copy fails).
unsigned long long PlannedBytes(const std::vector<std::vector<PlanStep>>& plans) {
    unsigned long long total = 0;
    for (const PlanStep* copy : CopiesBeforeFirstFault(plans)) {
        unsigned long long size = 0;
        if (platform::GetFileSizeAt(copy->source, size)) total += size;
    }
    return total;
}

}  // namespace

bool UpdateContext::CopyContent(const InstalledProduct& product, CopyProgress* progress,
                                const std::function<void()>& committed) {
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
    std::vector<std::vector<PlanStep>> plans =
        PlanEntries(document, productId, owner.folder, sourceBase, &platform::IsAnsiLeadByte);
    if (progress != nullptr) progress->Planned(PlannedBytes(plans));
    WindowsJournalFiles files(progress, sealed ? &*sealed : nullptr);
    content_log::ContentCopyLog log(*this);
    ContentInstaller installer(files, owner, &platform::IsAnsiLeadByte, log);
    if (installer.InstallPlans(plans, committed)) return true;
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
    std::vector<std::vector<PlanStep>> plans =
        PlanEntries(document, productId, targetBase, sourceBase, &platform::IsAnsiLeadByte);
    for (const PlanStep* copy : CopiesBeforeFirstFault(plans)) {
        if (platform::SamePathText(path, copy->target)) return true;
    }
    return false;
}

bool UpdateContext::VerifySealedPayload(const InstalledProduct& product) const {
    if (!sealed) return true;
    std::string location;
    std::string productId;
    std::string targetBase;
    if (document.RootElement() == nullptr || !product.GetInstallLocation(location) ||
        !product.GetProductId(productId) || !MakePlanBase(location, targetBase)) {
        // The copy finds and reports these itself; there is nothing to check yet.
        return true;
    }
    std::vector<std::vector<PlanStep>> plans =
        PlanEntries(document, productId, targetBase, sealed->sourceBase, &platform::IsAnsiLeadByte);
    for (const PlanStep* copy : CopiesBeforeFirstFault(plans)) {
        std::string name = ManifestNameOf(copy->source, sealed->sourceBase);
        const SealedFile* expected = sealed->Find(copy->source);
        if (expected == nullptr) {
            UpgradeLog::Write(kSealUnlistedLine, name.c_str());
            platform::SetLastErrorCode(ERROR_INVALID_DATA);
            return false;
        }
        SealedFileCheck check(*expected);
        bool read = platform::ReadFileInChunks(copy->source,
                                               [&check](const char* data, unsigned long bytes) {
                                                   if (check.Add(data, bytes)) return true;
                                                   platform::SetLastErrorCode(ERROR_INVALID_DATA);
                                                   return false;
                                               });
        if (read && !check.Matches()) {
            platform::SetLastErrorCode(ERROR_INVALID_DATA);
            read = false;
        }
        if (!read) {
            DWORD code = ::GetLastError();
            const char* line = kSealUnreadableLine;
            if (code == ERROR_INVALID_DATA) {
                line = kSealChangedLine;
            } else if (platform::IsNotFoundCode(code)) {
                // A sealed file that is not there does not match the seal
                // either: the package is not the one the vendor sealed.
                line = kSealMissingLine;
                platform::SetLastErrorCode(ERROR_INVALID_DATA);
            }
            UpgradeLog::Write(line, name.c_str());
            return false;
        }
    }
    return true;
}
