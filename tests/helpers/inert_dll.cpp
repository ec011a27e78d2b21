// A DLL that does nothing when loaded: a plug-in of the player that another
// program holds loaded while an update replaces it. The tests append bytes
// to it (after the image, where the loader never looks) to tell an old copy
// from a new one and to make a large one.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
