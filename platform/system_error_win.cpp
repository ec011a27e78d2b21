#include "platform/system_error_win.h"

#include "platform/handles_win.h"

namespace platform {

bool SystemErrorText(DWORD code, std::string& text) {
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer),
        0, nullptr);
    LocalMemory owner(buffer);
    if (length == 0) return false;
    text.assign(buffer, length);
    return true;
}

}  // namespace platform
