// Prints the system's message text for an error code exactly as
// FormatMessageA gives it, so end-to-end tests can compare whole box texts
// without knowing the wording of this system.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) return 64;
    char* text = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)),
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0) return 1;
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(text, 1, length, stdout);
    ::LocalFree(text);
    return 0;
}
