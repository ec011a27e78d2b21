#include "platform/message_loop.h"

#include <windows.h>

namespace platform {

void ServePendingMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to act on here: left for whoever runs the message loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void PauseServingMessages(unsigned milliseconds) {
    const ULONGLONG until = ::GetTickCount64() + milliseconds;
    for (;;) {
        ServePendingMessages();
        ULONGLONG now = ::GetTickCount64();
        if (now >= until) return;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(until - now), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

}  // namespace platform
