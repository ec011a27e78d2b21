#include <windows.h>

#include "platform/standard_error.h"

namespace platform {

bool WriteStandardError(const std::string& text) {
    HANDLE output = ::GetStdHandle(STD_ERROR_HANDLE);
    if (output == INVALID_HANDLE_VALUE) return false;
    if (output == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // A pipe may take less than the whole text in one write.
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!::WriteFile(output, text.data() + done, static_cast<DWORD>(text.size() - done),
                         &written, nullptr))
            return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace platform
