#include "app/status_progress_win.h"

#include "platform/window_services_win.h"
#include "platform/message_loop.h"

void StatusProgress::Planned(unsigned long long bytes) {
    planned_ = bytes;
    copied_ = 0;
    MoveBar();
    platform::ServePendingMessages();
    served_ = ::GetTickCount64();
}

void StatusProgress::Copied(unsigned long long bytes) {
    copied_ += bytes;
    unsigned long long now = ::GetTickCount64();
    if (now - served_ < kServeEveryMs) return;
    MoveBar();
    platform::ServePendingMessages();
    served_ = now;
}

void StatusProgress::Finished() {
    copied_ = planned_;
    MoveBar();
    platform::ServePendingMessages();
}

// Only a change of position touches the bar (each one repaints it).
void StatusProgress::MoveBar() {
    unsigned long long done = copied_ < planned_ ? copied_ : planned_;
    int position = planned_ == 0 ? CStatusDlg::kProgressRange
                                 : static_cast<int>(done * CStatusDlg::kProgressRange / planned_);
    if (position == shown_) return;
    dialog_.SetProgress(position);
    shown_ = position;
}
