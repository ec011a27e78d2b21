// The application object: start-up, the upgrade sequence, the failure report
// and teardown.
#pragma once

#include "app/command_line.h"
#include "platform/framework_win.h"
#include "ui/message_lookup.h"
#include "ui/status_dialog_win.h"

class InstalledProduct;
class UpdateContext;
struct UpdatePlan;

class COVUpgradeApp : public CWinApp {
public:
    COVUpgradeApp();
    ~COVUpgradeApp() override;
    const char* GetRuntimeClassName() const override { return "COVUpgradeApp"; }

    bool InitInstance() override { return RunUpgrade(); }
    // The run's outcome as a Windows Installer exit code (see ExitCode).
    int ExitInstance() override { return m_exitCode; }

    // Creates and loads the configuration, then runs the upgrade sequence.
    // True only when the user declined the upgrade.
    virtual bool RunUpgrade();

    // Shows the system's text for the current last-error code in an error box
    // (and logs it when the log is open). Call it right after the failure.
    // `updateNotUndone` adds to the log line that a failed update could not
    // be fully rolled back.
    // Unattended runs show no box; the run ends with kExitFailed.
    void ReportFailure(bool updateNotUndone = false);
    // The same report for a run that ends with `exitCode`, its outcome
    // logged as `outcome` when a log is open.
    void ReportFailureEndingWith(int exitCode, const char* outcome, bool updateNotUndone = false);

    // True: create, show and paint the status window, then pause a second.
    // False: hide and destroy it when it exists.
    void ShowStatus(bool show);

    // The texts of the run's message table, as the dialogs look them up:
    // empty for a key the table lacks, and before the table is loaded.
    MessageLookup Messages() const;

    CStatusDlg m_statusDlg;

private:
    bool RunSequence();
    void HideStatusIfShown();
    // The usage for /? and for a command line not understood: in a box when
    // the run may show one, and in the /log file and on standard error.
    bool ShowUsage();
    // True when the /log file is the installation's log or a file the update
    // writes (looked up for a run that ends before it finds the product).
    bool LogCopyIsAFileOfTheUpdate();
    // Ends the run as a usage error when the /log file is one the update
    // writes (its own log, or a file it replaces). True when it did.
    bool RefuseLogOverTheUpdate(const UpdatePlan& plan);
    // Logs the restart switch given, once the installation's log is open.
    void LogRestartSwitch() const;
    // In a release build, ends the run with the failure report
    // (ERROR_INVALID_DATA) when the program carries no seal. True when it did.
    bool RefuseUnsealedRelease();
    // Records the exit code; a run with arguments also logs the outcome.
    void EndWith(int exitCode, const char* outcome);
    // True when boxes and dialogs may be shown (no /quiet or /passive).
    bool AsksUser() const { return m_options.ui == UiLevel::kFull; }

    RunOptions m_options;
    int m_exitCode = kExitFailed;
};
