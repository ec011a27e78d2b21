// Reading the installation's settings file (RAZoro.ini).
#pragma once

namespace platform {

// Reads `key` of `section` in an INI file into `out` (default `fallback`);
// answers the number of characters copied.
unsigned long ReadIniString(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, unsigned long outSize);

}  // namespace platform
