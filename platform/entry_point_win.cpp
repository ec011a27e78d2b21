// The program's entry point: hands control to the one application object.
#include <windows.h>

#include <cstddef>

#include "platform/framework_win.h"
#include "platform/system_library_win.h"

// The image's load configuration: DependentLoadFlags (the field the headers
// call Reserved1) tells the loader to resolve the libraries that the
// program's imports pull in from System32 only, before any code of the
// program runs. The linker finds the structure by this name.
namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY MakeLoadConfig() {
    IMAGE_LOAD_CONFIG_DIRECTORY config = {};
    config.Size = offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) + sizeof(config.Reserved1);
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}

}  // namespace

extern "C" __attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used =
    MakeLoadConfig();

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything can load a library: no DLL from the package folder.
    platform::RestrictDllSearchToSystem32();
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
