#include "install/content_recovery.h"

#include "install/content_install.h"
#include "install/content_log.h"
#include "platform/path_rules.h"
#include "install/journal_files_win.h"
#include "platform/code_page.h"
#include "platform/handles_win.h"
#include "product/installed_product.h"

bool MakeJournalOwner(const InstalledProduct& product, const std::string& location,
                      JournalOwner& owner) {
    if (!MakePlanBase(location, owner.folder)) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    owner.productCode = product.productCode;
    return true;
}

bool RecoverInterruptedUpdate(const InstalledProduct& product, const std::string& installLocation) {
    JournalOwner owner;
    if (!MakeJournalOwner(product, installLocation, owner)) return false;
    WindowsJournalFiles files;
    content_log::RecoveryLogLines log;
    return RecoverInterruptedUpdates(files, owner, &platform::IsAnsiLeadByte, log);
}
