// The program's entry point: hands control to the one application object.
#include <windows.h>

#include "platform/framework.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Nothing may unwind out of the entry point; the program sets no exit
    // status of its own.
    try {
        if (CWinApp* app = CWinApp::Current()) app->InitInstance();
    } catch (...) {
    }
    return 0;
}
