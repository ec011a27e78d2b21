#include "platform/code_page.h"

#include <windows.h>

#include <string>

namespace platform {

bool IsAnsiLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

bool ModulePathFitsAnsiCodePage() {
    std::wstring wide(32768, L'\0');
    DWORD length = ::GetModuleFileNameW(nullptr, &wide[0], static_cast<DWORD>(wide.size()));
    if (length == 0 || length >= wide.size()) return false;
    BOOL usedDefault = FALSE;
    int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(),
                                     static_cast<int>(length), nullptr, 0, nullptr, &usedDefault);
    if (size <= 0) return false;
    if (usedDefault) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    return true;
}

}  // namespace platform
