// The application object: start-up, the upgrade sequence, the failure report
// and teardown.
#pragma once

#include "platform/framework.h"
#include "ui/status_dialog.h"

class COVUpgradeApp : public CWinApp {
public:
    COVUpgradeApp();
    ~COVUpgradeApp() override;
    const char* GetRuntimeClassName() const override { return "COVUpgradeApp"; }

    bool InitInstance() override { return RunUpgrade(); }

    // Creates and loads the configuration, then runs the upgrade sequence.
    // True only when the user declined the upgrade.
    virtual bool RunUpgrade();

    // Shows the system's text for the current last-error code in an error box
    // (and logs it when the log is open). Call it right after the failure.
    // `updateNotUndone` adds to the log line that a failed update could not
    // be fully rolled back.
    void ReportFailure(bool updateNotUndone = false);

    // True: create, show and paint the status window, then pause a second.
    // False: hide and destroy it when it exists.
    void ShowStatus(bool show);

    CStatusDlg m_statusDlg;

private:
    bool RunSequence();
    void HideStatusIfShown();
};
