// The program's entry point: hands control to the one application object.
#include <windows.h>

#include "platform/framework.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Nothing may unwind out of the entry point; whatever escapes is a
    // failed installation to the caller.
    try {
        CWinApp* app = CWinApp::Current();
        if (app == nullptr) return ERROR_INSTALL_FAILURE;
        app->InitInstance();
        return app->ExitInstance();
    } catch (...) {
        return ERROR_INSTALL_FAILURE;
    }
}
