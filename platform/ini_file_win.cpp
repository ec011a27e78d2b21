#include "platform/ini_file.h"

#include <windows.h>

namespace platform {

unsigned long ReadIniString(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, unsigned long outSize) {
    return ::GetPrivateProfileStringA(section, key, fallback, out, outSize, file);
}

}  // namespace platform
