// The upgrade's decision chain, from the product search to the result.
#include <string>

#include "app/status_progress_win.h"
#include "app/upgrade_app_win.h"
#include "config/message_keys.h"
#include "config/update_context.h"
#include "install/content_install_win.h"
#include "log/upgrade_log.h"
#include "platform/handles_win.h"
#include "platform/named_lock.h"
#include "platform/named_lock_win.h"
#include "platform/path_services_win.h"
#include "platform/window_services_win.h"
#include "product/installed_product.h"
#include "product/version_fields.h"
#include "res/version.h"
#include "ui/msg_dialog_win.h"
#include "ui/status_dialog_win.h"
#include "platform/code_page.h"
#include "platform/system_error_win.h"

namespace {

constexpr unsigned kRefusalBoxFlags = MB_SETFOREGROUND | MB_ICONERROR | MB_OK;           // 0x10010
constexpr unsigned kConsentBoxFlags = MB_SETFOREGROUND | MB_ICONQUESTION | MB_OKCANCEL;  // 0x10021

void ShowMessageDialog(BOOL showDownload, BOOL showHelp, const std::string& text,
                       const std::string& caption, const MessageLookup& messages) {
    CMsg dialog(nullptr, showDownload, showHelp, messages);
    dialog.m_strText = text;
    dialog.m_strCaption = caption;
    dialog.DoModal();
}

void ShowRefusal(const std::string& text, const std::string& caption) {
    platform::ShowMessageBox(platform::ForegroundWindow(), text.c_str(), caption.c_str(),
                             kRefusalBoxFlags);
}

}  // namespace

// Every path ends the program; only declining the upgrade answers true.
bool COVUpgradeApp::RunSequence() {
    UpdateContext& context = *g_pUpdateContext;
    // One text for every message looked up for a box, a dialog or a log line:
    // a key missing from the configuration leaves the previous text in place.
    std::string message;
    std::string caption;

    // Without Windows Installer no search can say anything: that is a
    // failure, not "not installed".
    if (!WindowsInstallerAvailable()) {
        ReportFailure();
        return false;
    }
    InstalledProduct product;
    context.LookupMessage(message_key::kTitle, caption);
    if (!product.found) {
        context.LookupMessage(message_key::kNotInstalled, message);
        if (AsksUser()) ShowMessageDialog(TRUE, FALSE, message, caption, Messages());
        EndWith(kExitNotInstalled, "Orvexa is not installed, or installed more than once");
        return false;
    }

    std::string installLocation;
    if (!product.GetInstallLocation(installLocation)) {
        ReportFailure();
        return false;
    }
    // One run at a time per installation, taken before anything of it is
    // touched: a second run must neither share the log nor read the journal
    // of the run in progress, and its plan is made from a folder no other
    // run is changing.
    platform::NamedLock oneRunAtATime;
    bool locked = oneRunAtATime.Take(InstallationLockName(installLocation));
    DWORD lockError = locked ? ERROR_SUCCESS : ::GetLastError();
    // What the run will do, worked out once and used by every step below.
    UpdatePlan plan = MakeUpdatePlan(context, product, installLocation);
    // The /log file must not be the installation's log or a file the update
    // replaces: refused as a usage error before anything is written to it,
    // even the outcome of a run that finds the lock taken.
    if (RefuseLogOverTheUpdate(plan)) return false;
    if (!locked) {
        platform::SetLastErrorCode(lockError);
        if (lockError != ERROR_ALREADY_EXISTS) {
            ReportFailure();
            return false;
        }
        std::string busyText;
        platform::SystemErrorText(ERROR_INSTALL_ALREADY_RUNNING, busyText);
        while (!busyText.empty() && (busyText.back() == '\n' || busyText.back() == '\r'))
            busyText.pop_back();
        if (AsksUser()) ShowRefusal(busyText, caption);
        EndWith(kExitAnotherRun, "another run is updating this installation");
        return false;
    }
    if (!UpgradeLog::Open(installLocation.c_str())) {
        ReportFailure();
        return false;
    }
    LogRestartSwitch();
    if (product.IsRunning()) {
        context.LookupMessage(message_key::kRunning, message);
        if (AsksUser()) ShowRefusal(message, caption);
        EndWith(kExitProductRunning, "Orvexa is running");
        return false;
    }

    // A run that was killed mid-copy left its journal: with Orvexa's files
    // free now, put the installation back before anything else.
    bool rolledBack = false;
    if (!RecoverInterruptedUpdate(plan, rolledBack)) {
        ReportFailure();
        return false;
    }
    // Undoing that run may have put back files the plan was made from
    // (RAZoro.ini among them): it is made again from what is there now.
    if (rolledBack) plan = MakeUpdatePlan(context, product, installLocation);

    std::string maximum = context.maxVersion;
    std::string minimum = context.minVersion;
    std::string installedVersion;
    // A version that can't be read is refused: the range can't vouch for it.
    bool versionRead = product.GetVersion(installedVersion) && !installedVersion.empty();
    if (!versionRead ||
        !VersionInRange(installedVersion, minimum, maximum, &platform::IsAnsiLeadByte)) {
        context.LookupMessage(message_key::kVersionError, message);
        if (AsksUser()) ShowRefusal(message, caption);
        EndWith(kExitVersionMismatch, versionRead
                                          ? "the installed version is outside this update's range"
                                          : "the installed version can't be read");
        return false;
    }

    // A sealed package's files are checked before the user is asked: a
    // damaged download is refused with nothing changed.
    if (!VerifySealedPayload(context, plan)) {
        ReportFailure();
        return false;
    }

    std::string consent;
    if (!context.LookupMessage(message_key::kAskUser, consent)) {
        // Whatever code earlier calls left says nothing about this failure.
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
        ReportFailure();
        return false;
    }
    // Unattended runs take consent as given.
    if (AsksUser() && platform::ShowMessageBox(nullptr, consent.c_str(), caption.c_str(),
                                               kConsentBoxFlags) == IDCANCEL) {
        EndWith(kExitUserDeclined, "the user declined the update");
        return true;
    }

    if (m_options.ui != UiLevel::kQuiet) ShowStatus(true);
    context.LookupMessage(message_key::kUpdateStart, message);
    UpgradeLog::WriteConfigured(message.c_str(), kToolVersion);
    StatusProgress progress(m_statusDlg);
    bool statusShown = m_statusDlg.GetSafeHwnd() != nullptr;
    // The result is shown as soon as the update is final; the old files it
    // replaced are deleted after that.
    auto updated = [&]() {
        if (statusShown) progress.Finished();
        HideStatusIfShown();
        context.LookupMessage(message_key::kInstallSuccess, message);
        if (AsksUser()) ShowMessageDialog(FALSE, TRUE, message, caption, Messages());
        context.LookupMessage(message_key::kUpdateComplete, message);
        UpgradeLog::WriteConfigured(message.c_str(), kToolVersion);
    };
    bool rollbackIncomplete = false;
    if (!CopyContent(context, plan, statusShown ? &progress : nullptr, updated,
                     rollbackIncomplete)) {
        HideStatusIfShown();
        ReportFailure(rollbackIncomplete);
        return false;
    }
    EndWith(kExitUpdated, "updated");
    return false;
}
