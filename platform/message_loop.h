// Serving the user-interface thread's windows while the program works on
// that same thread (the pause before the copy, the copy itself).
#pragma once

namespace platform {

// Waits `milliseconds` while serving the thread's windows' messages as they
// arrive, so that a shown window stays responsive.
void PauseServingMessages(unsigned milliseconds);

// Dispatches every message waiting for the thread's windows, and returns.
void ServePendingMessages();

}  // namespace platform
