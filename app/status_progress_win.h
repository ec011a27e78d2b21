// The content copy's progress shown in the status window.
#pragma once

#include "install/copy_progress.h"
#include "ui/status_dialog_win.h"

// Moves the status window's bar by the bytes copied over the bytes planned,
// and serves the window's messages as the copy goes: between chunks of a
// large file as between small files, at most every kServeEveryMs, so that no
// message waits long and small files don't pay for it. The bar moves only
// then too: each move repaints it, which cost more than a small file's copy
// when it came with every file.
class StatusProgress : public CopyProgress {
public:
    explicit StatusProgress(CStatusDlg& dialog) : dialog_(dialog) {}
    StatusProgress(const StatusProgress&) = delete;
    StatusProgress& operator=(const StatusProgress&) = delete;

    void Planned(unsigned long long bytes) override;
    void Copied(unsigned long long bytes) override;
    // Everything planned is in place: the bar is full.
    void Finished();

private:
    static constexpr unsigned long long kServeEveryMs = 25;

    void MoveBar();

    CStatusDlg& dialog_;
    unsigned long long planned_ = 0;
    unsigned long long copied_ = 0;
    int shown_ = -1;  // the bar's position, in thousandths
    unsigned long long served_ = 0;
};
